// The revocation tool's growable text holder: UTF-16 text with cached ANSI
// and UTF-8 copies, plus the conversion functions and the base64 encoder
// that the request document uses. "ANSI" is the tool's narrow text, which
// is Shift-JIS (code page 932) whatever the system's code page: the tool's
// literals are, and the trace log and the screen expect them so.
//
// CTextBuffer is a plain record of five 32-bit fields (on the 32-bit target)
// with no virtual operations. A zero-filled buffer is a valid empty buffer;
// owners create buffers that way and set m_nGrowBy where they want a step.
// Operations that report success return 1, failures 0.
#ifndef KEVO_TEXTBUFFER_H
#define KEVO_TEXTBUFFER_H

#include <stddef.h>

class CTextBuffer {
public:
    char* m_lpAnsi;      // cached Shift-JIS copy of the text, or NULL
    char* m_lpUTF8;      // cached UTF-8 copy of the text, or NULL
    wchar_t* m_lpData;   // the text, zero-terminated, or NULL when nothing was ever stored
    int m_nSize;         // capacity of m_lpData in UTF-16 units, terminator included
    int m_nGrowBy;       // growth step in UTF-16 units; 0 or less means exact fit

    CTextBuffer() : m_lpAnsi(NULL), m_lpUTF8(NULL), m_lpData(NULL), m_nSize(0), m_nGrowBy(0) {}
    ~CTextBuffer() { Destroy(); }
    CTextBuffer(const CTextBuffer&) = delete;
    CTextBuffer& operator=(const CTextBuffer&) = delete;

    // Frees the three allocations and zeroes all five fields.
    void Destroy();

    // Replaces the text. On failure the text is empty.
    int SetData(const wchar_t* text);
    int SetData(const char* ansiText);
    // Appends. On failure the text stays as it was.
    int Append(const wchar_t* text);
    int Append(const char* ansiText);

    // Cached conversions the buffer keeps owning; NULL when there is no text
    // or the conversion fails. Valid until the next change of the text.
    char* GetUTF8();
    char* GetAnsi();

    // Drops the caches and zeroes the whole capacity; keeps the storage.
    void Clear();
    // Ensures a capacity of at least n units, keeping the text; never shrinks.
    int Reserve(int n);
    void ToLower();
    void RemoveChar(wchar_t unit);

    // Length of the text in UTF-16 units (0 when nothing is stored).
    int GetLength() const;

private:
    void DropCaches();
    int CapacityFor(size_t length) const;
};

// Each returns a new zero-terminated allocation (C runtime malloc) that the
// caller frees, or NULL on failure.
char* WideToAnsi(const wchar_t* text);
char* WideToUTF8(const wchar_t* text);
wchar_t* AnsiToWide(const char* text);
char* Base64Encode(unsigned long count, const unsigned char* bytes);

#endif
