#include "DiagReport.h"

#include <stdarg.h>
#include <stdio.h>

#include "DiagTexts.h"

namespace {

std::wstring LineText(const DiagLine& line, bool withSection)
{
    static const wchar_t* const kLabels[] = {kTextOk, kTextWarn, kTextNg};
    std::wstring text = kLabels[line.level];
    if (withSection)
        text += L"[" + line.section + L"] ";
    text += line.found;
    if (!line.advice.empty())
        text += kTextAdviceMark + line.advice;
    return text + L"\r\n";
}

}  // namespace

void DiagReport::Add(DiagLevel level, const std::wstring& found, const std::wstring& advice)
{
    DiagLine line = {level, section_, found, advice};
    lines_.push_back(line);
}

std::wstring DiagReport::Render(const std::wstring& header, const std::wstring& footer) const
{
    int ng = 0, warn = 0;
    for (const DiagLine& line : lines_) {
        ng += line.level == kDiagNg;
        warn += line.level == kDiagWarn;
    }
    std::wstring text = header + L"\r\n" + kTextSummaryTitle + L"\r\n";
    text += (ng + warn == 0) ? std::wstring(kTextAllOk) + L"\r\n" : Fmt(kTextCounts, ng, warn) + L"\r\n";
    for (DiagLevel level : {kDiagNg, kDiagWarn})
        for (const DiagLine& line : lines_)
            if (line.level == level)
                text += LineText(line, true);
    std::wstring section;
    for (const DiagLine& line : lines_) {
        if (line.section != section) {
            section = line.section;
            text += L"\r\n" + std::wstring(kTextSectionMark) + section + L"\r\n";
        }
        text += LineText(line, false);
    }
    return text + L"\r\n" + footer + L"\r\n";
}

std::wstring Fmt(const wchar_t* format, ...)
{
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(buffer, sizeof buffer / sizeof buffer[0] - 1, format, args);
    va_end(args);
    buffer[sizeof buffer / sizeof buffer[0] - 1] = L'\0';
    if (n < 0)
        n = (int)(sizeof buffer / sizeof buffer[0] - 1);
    return std::wstring(buffer, n);
}
