// The entry and exit lines of one operation in the program's trace log.
#ifndef KEVO_TRACESCOPE_H
#define KEVO_TRACESCOPE_H

#include "TraceLog.h"

// Writes the entry line now and the exit line when the operation returns.
class TraceScope {
public:
    explicit TraceScope(const char* name) : name_(name) { TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name_); }
    ~TraceScope() { TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name_); }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    const char* name_;
};

#endif
