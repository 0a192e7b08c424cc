// Card values of any UTF-16 units in the applicant part of the request
// document. libxml2 is the independent judge: a value that the document
// builder calls carriable must give a well-formed document whose element
// reads back as the value (no markup added, "]]>" included); one it refuses
// must be one that no XML parser could take.
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include "KEVORevokeXmlText.h"
#include "fuzz_support.h"

namespace {

void Silent(void*, const char*, ...) {}

// The UTF-8 bytes of the units with every surrogate encoded on its own when
// it has no partner, so that such a unit reaches the parser as it is.
std::string RawUtf8(const std::wstring& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(units[i]);
        bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                    units[i + 1] <= 0xDFFF;
        if (c >= 0xD800 && c <= 0xDFFF && !pair) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out += Utf8Of(units.substr(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
    }
    return out;
}

// Text content as the parser reports it: line ends normalised to line feeds.
std::string ParsedForm(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xmlSetGenericErrorFunc(NULL, Silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    int field = kFieldPerfCode + in.Byte() % (kPart2FieldCount - kFieldPerfCode);
    std::wstring value = in.Units(400);

    const wchar_t* values[kPart2FieldCount] = {L"2009/12/24", L"15/30/12", L"13", L"東京都",
                                               L"山田太郎",   L"東京都千代田区", L"男", L"319700101"};
    values[field] = value.c_str();
    CTextBuffer part2;
    part2.m_nGrowBy = 1024;
    FUZZ_CHECK(AppendRows(part2, kRevokeXmlPart2Rows, kPart2RowCount, values, true) == 1);
    std::wstring text = std::wstring(kRevokeXmlPart1) + part2.m_lpData + kRevokeXmlPart3;

    // The escaped value holds no markup character of its own.
    CTextBuffer escaped;
    FUZZ_CHECK(AppendEscapedValue(escaped, value.c_str()) == 1);
    std::wstring e = escaped.m_lpData != NULL ? escaped.m_lpData : L"";
    FUZZ_CHECK(e.find(L'<') == std::wstring::npos && e.find(L'>') == std::wstring::npos);
    FUZZ_CHECK(e.size() >= value.size());

    bool carriable = IsXmlCarriableText(value.c_str());
    std::string document = RawUtf8(text);
    xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "part2.xml", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOENT);
    if (!carriable) {
        FUZZ_CHECK(doc == NULL);
        return 0;
    }
    FUZZ_CHECK(doc != NULL);
    xmlXPathContextPtr xpath = xmlXPathNewContext(doc);
    static const char* const kElements[] = {"都道府県CD", "都道府県名称", "申請者の氏名",
                                            "申請者の住所", "申請者の性別", "申請者の生年月日"};
    // (libxml2's XPath takes non-ASCII text in literals, not in names.)
    std::string query = std::string("string(//*[local-name()='") + kElements[field - kFieldPerfCode] + "'])";
    xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(query.c_str()), xpath);
    FUZZ_CHECK(result != NULL && result->type == XPATH_STRING);
    FUZZ_CHECK(ParsedForm(Utf8Of(value)) == reinterpret_cast<const char*>(result->stringval));
    xmlXPathFreeObject(result);
    xmlXPathObjectPtr count = xmlXPathEvalExpression(
        reinterpret_cast<const xmlChar*>("count(/*/*/*[local-name()='申請書']/*)"), xpath);
    // The application holds its eight elements: the value added none.
    FUZZ_CHECK(count != NULL && count->floatval == 8);
    xmlXPathFreeObject(count);
    xmlXPathFreeContext(xpath);
    xmlFreeDoc(doc);
    return 0;
}
