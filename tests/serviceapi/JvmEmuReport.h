// Reading the JNI emulation's report (testbed/jvmemu/README.md) in the
// native and the Windows tests alike.
#ifndef KEVO_JVMEMU_REPORT_H
#define KEVO_JVMEMU_REPORT_H

#include <string>
#include <vector>

namespace jvmemu {

// Every line of the report that shows a fault: a trap, a misuse, or a
// count ("leaked", "live", "unreleased") that is not 0. An empty report
// (no VM call wrote one) is a fault as well; the VM's options are not.
inline std::vector<std::string> Problems(const std::string& report)
{
    std::vector<std::string> problems;
    if (report.empty())
        problems.push_back("(no report)");
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos)
            end = report.size();
        std::string line = report.substr(start, end - start);
        start = end + 1;
        size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        bool count = key == "leaked" || key == "live" || key == "unreleased";
        if (!line.empty() && key != "option" && (!count || line.substr(space + 1) != "0"))
            problems.push_back(line);
    }
    return problems;
}

}  // namespace jvmemu

#endif
