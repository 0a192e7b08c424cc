// Native builds: the library's load hook creates the trace lock, as the
// Windows entry point does at process attach.
#include "TraceLog.h"

namespace {
struct LibraryInit {
    LibraryInit() { TraceInitLock(); }
};
LibraryInit g_libraryInit;
}  // namespace
