// Trace log shared by the deliverables: levelled lines, switched on per user,
// appended to one file per process in the user's temporary directory.
//
// Each deliverable links its own build of this module (see
// kevo_add_tracelog in common/CMakeLists.txt), which fixes the file-name
// prefix, whether the name carries the thread id, and whether the
// Windows-error naming is present.
#ifndef KEVO_TRACELOG_H
#define KEVO_TRACELOG_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    TRACE_LEVEL_FLOW = 10,   // entry, exit and progress lines
    TRACE_LEVEL_ERROR = 20   // error lines
};

// Creates the lock around file writes; the host calls it once, before the
// first trace call.
void TraceInitLock(void);

// Writes one line (prefix + message) when level <= the user's TRACE value.
// The message is cut to 1023 bytes.
void TraceLog(int level, const char* format, ...);

// Appends one formatted fragment to the log file under the lock.
void TraceAppend(int level, const char* format, ...);

// The part of a compiled-in source path after its last separator, for the
// "(%s:%d)" tail of error lines.
const char* TraceSourceName(const char* path);

// Windows-error naming (only in builds with WINDOWS_ERROR_NAMES).
// WinErrorName returns a new text the caller frees, or NULL without memory.
char* WinErrorName(unsigned long code);
void TraceWinError(unsigned long code, const char* what, const char* file, int line);

#ifdef __cplusplus
}
#endif

// Source name and line for the "(%s:%d)" tail of an error line.
#define TRACE_HERE TraceSourceName(__FILE__), __LINE__

#endif
