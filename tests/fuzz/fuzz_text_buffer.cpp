// The text buffer under any sequence of its operations, against a plain
// string as the model: text, capacity, the caches (a cache must always be
// a conversion of the current text) and the buffer's own text passed back
// into it.
#include <wchar.h>
#include <wctype.h>

#include "TextBuffer.h"
#include "fuzz_support.h"

namespace {

void CheckAgainst(CTextBuffer& buffer, const std::wstring& model, bool everStored)
{
    if (!everStored && model.empty() && buffer.m_lpData == NULL) {
        FUZZ_CHECK(buffer.GetUTF8() == NULL && buffer.GetAnsi() == NULL);
        return;
    }
    if (buffer.m_lpData == NULL) {
        FUZZ_CHECK(model.empty());
        return;
    }
    FUZZ_CHECK(buffer.m_nSize >= static_cast<int>(model.size()) + 1);
    FUZZ_CHECK(model == buffer.m_lpData);
    // Nothing of an older text stays behind the terminator.
    for (int i = static_cast<int>(model.size()); i < buffer.m_nSize; ++i)
        FUZZ_CHECK(buffer.m_lpData[i] == 0);
    const char* utf8 = buffer.GetUTF8();
    FUZZ_CHECK(utf8 != NULL && Utf8Of(model) == utf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    CTextBuffer buffer;
    std::wstring model;
    bool everStored = false;
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        uint8_t op = in.Byte();
        // Appending the buffer to itself doubles it: keep texts to a size
        // that a run can check.
        if (model.size() > 20000 && (op % 12 == 1 || op % 12 == 3 || op % 12 == 11))
            continue;
        switch (op % 12) {
        case 0: {
            std::wstring text = in.Units(300);
            FUZZ_CHECK(buffer.SetData(text.c_str()) == 1);
            model = text;
            everStored = everStored || !text.empty();
            break;
        }
        case 1: {
            std::wstring text = in.Units(300);
            FUZZ_CHECK(buffer.Append(text.c_str()) == 1);
            model += text;
            everStored = everStored || !text.empty();
            break;
        }
        case 2:
        case 3: {
            std::string narrow = in.Text(300);
            wchar_t* wide = narrow.empty() ? NULL : AnsiToWide(narrow.c_str());
            FUZZ_CHECK(narrow.empty() || wide != NULL);
            int ok = op % 12 == 2 ? buffer.SetData(narrow.c_str()) : buffer.Append(narrow.c_str());
            FUZZ_CHECK(ok == 1);
            std::wstring converted = wide != NULL ? wide : L"";
            model = op % 12 == 2 ? converted : model + converted;
            everStored = everStored || !converted.empty();
            // ASCII is the same in code page 932.
            bool ascii = true;
            for (char c : narrow)
                ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            if (ascii)
                FUZZ_CHECK(converted == std::wstring(narrow.begin(), narrow.end()));
            free(wide);
            break;
        }
        case 4:
            buffer.GetUTF8();
            break;
        case 5: {
            const char* ansi = buffer.GetAnsi();
            FUZZ_CHECK((ansi == NULL) == (buffer.m_lpData == NULL));
            if (ansi != NULL) {
                // The cached copy read back is the same text where 932 holds it.
                bool ascii = true;
                for (wchar_t c : model)
                    ascii = ascii && c < 0x80;
                if (ascii)
                    FUZZ_CHECK(std::string(model.begin(), model.end()) == ansi);
                // A narrow text of this buffer's own cache set back in.
                std::string copy = ansi;
                if (in.Byte() & 1 && !copy.empty()) {
                    wchar_t* wide = AnsiToWide(copy.c_str());
                    FUZZ_CHECK(buffer.SetData(ansi) == 1);
                    model = wide != NULL ? wide : L"";
                    free(wide);
                }
            }
            break;
        }
        case 6:
            buffer.Clear();
            model.clear();
            break;
        case 7: {
            int n = static_cast<int>(in.Byte()) * 37 - 200;
            int before = buffer.m_nSize;
            FUZZ_CHECK(buffer.Reserve(n) == 1);
            FUZZ_CHECK(buffer.m_nSize == (n > before ? n : before));
            break;
        }
        case 8:
            buffer.ToLower();
            for (wchar_t& c : model)
                c = static_cast<wchar_t>(towlower(c));
            break;
        case 9: {
            wchar_t unit = static_cast<wchar_t>(in.Byte() & 1 ? L'\n' : in.Units(1).c_str()[0]);
            buffer.RemoveChar(unit);
            if (unit != 0) {
                std::wstring kept;
                for (wchar_t c : model)
                    if (c != unit)
                        kept.push_back(c);
                model = kept;
            }
            break;
        }
        case 10: {
            static const int kSteps[] = {0, -1, 1, 2, 3, 7, 64, 1024, 4096};
            buffer.m_nGrowBy = kSteps[in.Byte() % (sizeof kSteps / sizeof kSteps[0])];
            break;
        }
        case 11: {
            // The buffer's own text, or a tail of it, passed back in.
            if (buffer.m_lpData == NULL)
                break;
            size_t from = model.empty() ? 0 : in.Byte() % (model.size() + 1);
            std::wstring tail = model.substr(from);
            if (in.Byte() & 1) {
                FUZZ_CHECK(buffer.SetData(buffer.m_lpData + from) == 1);
                model = tail;
            } else {
                FUZZ_CHECK(buffer.Append(buffer.m_lpData + from) == 1);
                model += tail;
            }
            break;
        }
        }
        CheckAgainst(buffer, model, everStored);
        FUZZ_CHECK(buffer.GetLength() == static_cast<int>(model.size()));
    }
    buffer.Destroy();
    FUZZ_CHECK(buffer.m_lpData == NULL && buffer.m_lpAnsi == NULL && buffer.m_lpUTF8 == NULL);
    FUZZ_CHECK(buffer.m_nSize == 0 && buffer.m_nGrowBy == 0);
    return 0;
}
