// The installer's request that every running version checker end, in any
// user's session: a named event in the global namespace. A notice shown on
// another user's desktop can neither be found nor closed through its window
// from the installer's, and the checker keeps no state, so it simply ends.
#ifndef KEVO_ENDREQUEST_H
#define KEVO_ENDREQUEST_H

#include <windows.h>

// The event's name; the installer sets the event (EVENT_MODIFY_STATE is
// granted to Administrators and SYSTEM only).
#define KEVO_VERCHK_END_EVENT L"Global\\KEVOSoftverchk.End"

// Opens the event, or creates it when no checker holds it yet, and ends the
// process (exit code 0) as soon as it is set, also while the notice is
// shown. True when the request is already set: the caller ends at once.
// Without the event (refused, or no global namespace) the checker runs as
// before and the installer's fallback ends it.
bool WatchEndRequest();

#endif
