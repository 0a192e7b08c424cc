// A step of the report that may block in a call it cannot interrupt (a
// name lookup, a connection, WinINet): it runs on a thread of its own and
// the report waits for it no longer than its limit.
#ifndef KEVO_DIAGBOUNDED_H
#define KEVO_DIAGBOUNDED_H

#include <windows.h>

// What a bounded step shares with its thread; allocated with new. The step
// writes `step` before each call that may block, so that a time-out names it.
struct BoundedWork {
    virtual ~BoundedWork() {}
    virtual void Run() = 0;
    volatile LONG step = 0;
};

// Runs work->Run() and waits at most limitMs. True when it ended in time
// (work is the caller's again); false when it did not (or no thread could
// start): work must then be left alone, never deleted, and the thread is
// never waited for (it ends with the program).
bool RunBounded(BoundedWork* work, DWORD limitMs);

// True once a step was left running: the program then ends without
// waiting for it.
bool BoundedStepLeftRunning();

#endif
