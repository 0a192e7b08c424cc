// The diagnostics report: checks grouped in sections, one line each, and
// the text the window shows and /report writes (summary first).
#ifndef KEVO_DIAGREPORT_H
#define KEVO_DIAGREPORT_H

#include <string>
#include <vector>

enum DiagLevel { kDiagOk, kDiagWarn, kDiagNg };

struct DiagLine {
    DiagLevel level;
    std::wstring section;
    std::wstring found;   // what the check found
    std::wstring advice;  // what to do; NG lines only
};

class DiagReport {
public:
    void Section(const std::wstring& title) { section_ = title; }
    void Ok(const std::wstring& found) { Add(kDiagOk, found, L""); }
    void Warn(const std::wstring& found) { Add(kDiagWarn, found, L""); }
    void Ng(const std::wstring& found, const std::wstring& advice) { Add(kDiagNg, found, advice); }
    const std::vector<DiagLine>& Lines() const { return lines_; }

    // The whole report, lines ended with CR LF: header, the summary (the
    // NG lines, then the warnings), every section, footer.
    std::wstring Render(const std::wstring& header, const std::wstring& footer) const;

private:
    void Add(DiagLevel level, const std::wstring& found, const std::wstring& advice);
    std::wstring section_;
    std::vector<DiagLine> lines_;
};

// printf-style wide formatting (%ls for wide texts).
std::wstring Fmt(const wchar_t* format, ...);

#endif
