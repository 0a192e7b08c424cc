// The diagnostics report: checks grouped in sections, one line each, and
// the text the window shows and /report writes (summary first). The report
// can be rendered at any moment of a run: the section still running then
// closes it.
#ifndef KEVO_DIAGREPORT_H
#define KEVO_DIAGREPORT_H

#include <string>
#include <vector>

enum DiagLevel { kDiagOk, kDiagWarn, kDiagNg };

struct DiagLine {
    DiagLevel level;
    std::wstring section;
    std::wstring found;   // what the check found
    std::wstring advice;  // what to do; NG and warning lines
};

class DiagReport;

// Told of every change of a report in the making, on the thread that runs
// the checks.
class DiagObserver {
public:
    virtual void ReportChanged(const DiagReport& report) = 0;

protected:
    ~DiagObserver() {}
};

class DiagReport {
public:
    explicit DiagReport(const std::wstring& header, DiagObserver* observer = NULL)
        : header_(header), observer_(observer), finished_(false)
    {
    }
    // Starts a section; until the next one (or Finish) it is the one running.
    void Section(const std::wstring& title);
    void Ok(const std::wstring& found) { Add(kDiagOk, found, L""); }
    void Warn(const std::wstring& found, const std::wstring& advice) { Add(kDiagWarn, found, advice); }
    void Ng(const std::wstring& found, const std::wstring& advice) { Add(kDiagNg, found, advice); }
    // Ends the run: the footer replaces the line naming the running section.
    void Finish(const std::wstring& footer);

    const std::vector<DiagLine>& Lines() const { return lines_; }
    const std::wstring& RunningSection() const { return section_; }

    // The whole report, lines ended with CR LF: header, what the report
    // holds and never holds, the summary (the NG lines, then the warnings),
    // every section, and the footer or the section still running. Every
    // text is masked of credentials and the Windows account name.
    std::wstring Render() const;

private:
    void Add(DiagLevel level, const std::wstring& found, const std::wstring& advice);
    void Changed();
    std::wstring header_;
    DiagObserver* observer_;
    std::wstring section_;
    std::wstring footer_;
    bool finished_;
    std::vector<DiagLine> lines_;
};

// printf-style wide formatting (%ls for wide texts).
std::wstring Fmt(const wchar_t* format, ...);

#endif
