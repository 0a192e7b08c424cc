#include "DiagReport.h"

#include <stdarg.h>
#include <stdio.h>

#include "DiagPrivacy.h"
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

void DiagReport::Section(const std::wstring& title)
{
    section_ = title;
    Changed();
}

void DiagReport::Add(DiagLevel level, const std::wstring& found, const std::wstring& advice)
{
    DiagLine line = {level, section_, MaskPrivate(found), MaskPrivate(advice)};
    lines_.push_back(line);
    Changed();
}

void DiagReport::Finish(const std::wstring& footer)
{
    footer_ = footer;
    finished_ = true;
    Changed();
}

void DiagReport::Changed()
{
    if (observer_ != NULL)
        observer_->ReportChanged(*this);
}

std::wstring DiagReport::Render() const
{
    int ng = 0, warn = 0;
    for (const DiagLine& line : lines_) {
        ng += line.level == kDiagNg;
        warn += line.level == kDiagWarn;
    }
    std::wstring text = header_ + L"\r\n" + kTextContents + L"\r\n\r\n" + kTextSummaryTitle + L"\r\n";
    if (!finished_)
        text += Fmt(kTextUnfinished, section_.c_str()) + L"\r\n";
    if (ng + warn == 0)
        text += std::wstring(finished_ ? kTextAllOk : kTextNoneYet) + L"\r\n";
    else
        text += Fmt(kTextCounts, ng, warn) + L"\r\n";
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
    if (!finished_)
        return text + L"\r\n" + Fmt(kTextRunningSection, section_.c_str()) + L"\r\n";
    return text + L"\r\n" + footer_ + L"\r\n";
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
