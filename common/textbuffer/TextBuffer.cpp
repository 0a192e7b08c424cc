// CTextBuffer and its conversions. The caches are dropped before anything
// that may change the text, so a cache is always null or a conversion of the
// current text.
#include "TextBuffer.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include "TextCodePage.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(CTextBuffer) == 5 * 4, "CTextBuffer is a plain record of five 32-bit fields");
#endif

void CTextBuffer::DropCaches()
{
    free(m_lpAnsi);
    m_lpAnsi = NULL;
    free(m_lpUTF8);
    m_lpUTF8 = NULL;
}

void CTextBuffer::Destroy()
{
    DropCaches();
    free(m_lpData);
    m_lpData = NULL;
    m_nSize = 0;
    m_nGrowBy = 0;
}

int CTextBuffer::GetLength() const
{
    return m_lpData == NULL ? 0 : static_cast<int>(wcslen(m_lpData));
}

// Capacity, terminator included, for a text of `length` units: exact fit, or
// the smallest multiple of the step strictly greater than the length.
// -1 when it does not fit the 32-bit capacity field.
int CTextBuffer::CapacityFor(size_t length) const
{
    if (m_nGrowBy <= 0) {
        if (length >= static_cast<size_t>(INT_MAX))
            return -1;
        return static_cast<int>(length + 1);
    }
    size_t step = static_cast<size_t>(m_nGrowBy);
    size_t steps = length / step + 1;
    if (steps > static_cast<size_t>(INT_MAX) / step)
        return -1;
    return static_cast<int>(steps * step);
}

int CTextBuffer::Reserve(int n)
{
    DropCaches();
    if (m_nSize >= n)
        return 1;
    if (static_cast<size_t>(n) > SIZE_MAX / sizeof(wchar_t))
        return 0;
    wchar_t* storage = static_cast<wchar_t*>(calloc(static_cast<size_t>(n), sizeof(wchar_t)));
    if (storage == NULL)
        return 0;
    if (m_lpData != NULL) {
        // The old capacity is smaller than n, so the old text and its
        // terminator fit.
        memcpy(storage, m_lpData, (wcslen(m_lpData) + 1) * sizeof(wchar_t));
        free(m_lpData);
    }
    m_lpData = storage;
    m_nSize = n;
    return 1;
}

void CTextBuffer::Clear()
{
    DropCaches();
    if (m_lpData != NULL)
        memset(m_lpData, 0, static_cast<size_t>(m_nSize) * sizeof(wchar_t));
}

namespace {
// True when `text` points into the buffer's own storage: it would be wiped
// or freed before it is read, so the caller copies it first.
bool PointsInto(const wchar_t* text, const wchar_t* storage, int size)
{
    if (storage == NULL || text == NULL)
        return false;
    uintptr_t p = reinterpret_cast<uintptr_t>(text);
    uintptr_t begin = reinterpret_cast<uintptr_t>(storage);
    return p >= begin && p < begin + static_cast<size_t>(size) * sizeof(wchar_t);
}

wchar_t* DuplicateWide(const wchar_t* text)
{
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = static_cast<wchar_t*>(malloc(bytes));
    if (copy != NULL)
        memcpy(copy, text, bytes);
    return copy;
}
}  // namespace

int CTextBuffer::SetData(const wchar_t* text)
{
    if (PointsInto(text, m_lpData, m_nSize)) {
        wchar_t* copy = DuplicateWide(text);
        if (copy == NULL) {
            Clear();
            return 0;
        }
        int ok = SetData(copy);
        free(copy);
        return ok;
    }
    Clear();
    if (text == NULL || text[0] == L'\0')
        return 1;
    size_t length = wcslen(text);
    int capacity = CapacityFor(length);
    if (capacity < 0 || !Reserve(capacity))
        return 0;
    memcpy(m_lpData, text, (length + 1) * sizeof(wchar_t));
    return 1;
}

int CTextBuffer::SetData(const char* ansiText)
{
    if (ansiText == NULL || ansiText[0] == '\0') {
        Clear();
        return 1;
    }
    // Converted before the caches go: the text may be this buffer's own
    // GetAnsi copy, which Clear frees.
    wchar_t* wide = AnsiToWide(ansiText);
    Clear();
    if (wide == NULL)
        return 0;
    int ok = SetData(wide);
    free(wide);
    return ok;
}

int CTextBuffer::Append(const wchar_t* text)
{
    if (text == NULL || text[0] == L'\0')
        return 1;
    if (PointsInto(text, m_lpData, m_nSize)) {
        wchar_t* copy = DuplicateWide(text);
        if (copy == NULL)
            return 0;
        int ok = Append(copy);
        free(copy);
        return ok;
    }
    size_t current = static_cast<size_t>(GetLength());
    size_t length = wcslen(text);
    int capacity = CapacityFor(current + length);
    if (capacity < 0 || !Reserve(capacity))
        return 0;
    memcpy(m_lpData + current, text, (length + 1) * sizeof(wchar_t));
    return 1;
}

int CTextBuffer::Append(const char* ansiText)
{
    // Appending nothing succeeds, as with the UTF-16 form.
    if (ansiText == NULL || ansiText[0] == '\0')
        return 1;
    wchar_t* wide = AnsiToWide(ansiText);
    if (wide == NULL)
        return 0;
    int ok = Append(wide);
    free(wide);
    return ok;
}

char* CTextBuffer::GetUTF8()
{
    if (m_lpData == NULL)
        return NULL;
    if (m_lpUTF8 == NULL)
        m_lpUTF8 = WideToUTF8(m_lpData);
    return m_lpUTF8;
}

char* CTextBuffer::GetAnsi()
{
    if (m_lpData == NULL)
        return NULL;
    if (m_lpAnsi == NULL)
        m_lpAnsi = WideToAnsi(m_lpData);
    return m_lpAnsi;
}

void CTextBuffer::ToLower()
{
    DropCaches();
    if (m_lpData == NULL)
        return;
    for (wchar_t* p = m_lpData; *p != L'\0'; ++p)
        *p = static_cast<wchar_t>(towlower(*p));
}

void CTextBuffer::RemoveChar(wchar_t unit)
{
    DropCaches();
    if (m_lpData == NULL || unit == L'\0')
        return;
    wchar_t* out = m_lpData;
    for (const wchar_t* in = m_lpData; *in != L'\0'; ++in) {
        if (*in != unit)
            *out++ = *in;
    }
    // Zero the freed tail too, so no trace of the removed units stays.
    while (out < m_lpData + m_nSize && *out != L'\0')
        *out++ = L'\0';
}

namespace {
char* WideToCodePage(TextCodePage codePage, const wchar_t* text)
{
    if (text == NULL)
        return NULL;
    int size = TextWideToNarrow(codePage, text, NULL, 0);
    if (size <= 0)
        return NULL;
    char* out = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1));
    if (out == NULL)
        return NULL;
    if (TextWideToNarrow(codePage, text, out, size) == 0) {
        free(out);
        return NULL;
    }
    return out;
}
}  // namespace

char* WideToAnsi(const wchar_t* text)
{
    return WideToCodePage(kTextCodePageAnsi, text);
}

char* WideToUTF8(const wchar_t* text)
{
    return WideToCodePage(kTextCodePageUtf8, text);
}

wchar_t* AnsiToWide(const char* text)
{
    if (text == NULL)
        return NULL;
    size_t length = strlen(text);
    if (length == 0 || length >= static_cast<size_t>(INT_MAX))
        return NULL;
    // Each byte gives at most one UTF-16 unit.
    wchar_t* out = static_cast<wchar_t*>(calloc(length + 1, sizeof(wchar_t)));
    if (out == NULL)
        return NULL;
    if (TextNarrowToWide(kTextCodePageAnsi, text, static_cast<int>(length), out, static_cast<int>(length)) == 0) {
        free(out);
        return NULL;
    }
    return out;
}

char* Base64Encode(unsigned long count, const unsigned char* bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (bytes == NULL || count == 0)
        return NULL;
    size_t groups = count / 3;
    if (groups > (SIZE_MAX - 5) / 4)
        return NULL;
    size_t size = 4 * groups + 1 + (count % 3 != 0 ? 4 : 0);
    char* out = static_cast<char*>(calloc(size, 1));
    if (out == NULL)
        return NULL;
    char* p = out;
    unsigned long i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned long v = (static_cast<unsigned long>(bytes[i]) << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        *p++ = kAlphabet[(v >> 18) & 63];
        *p++ = kAlphabet[(v >> 12) & 63];
        *p++ = kAlphabet[(v >> 6) & 63];
        *p++ = kAlphabet[v & 63];
    }
    if (count - i == 1) {
        unsigned long v = static_cast<unsigned long>(bytes[i]) << 16;
        *p++ = kAlphabet[(v >> 18) & 63];
        *p++ = kAlphabet[(v >> 12) & 63];
        *p++ = '=';
        *p++ = '=';
    } else if (count - i == 2) {
        unsigned long v = (static_cast<unsigned long>(bytes[i]) << 16) | (bytes[i + 1] << 8);
        *p++ = kAlphabet[(v >> 18) & 63];
        *p++ = kAlphabet[(v >> 12) & 63];
        *p++ = kAlphabet[(v >> 6) & 63];
        *p++ = '=';
    }
    return out;
}
