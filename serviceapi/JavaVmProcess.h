// The process's one Java VM. A HotSpot VM cannot be created again in a
// process once destroyed, so the library creates it at the first call (or
// takes the one the process already runs) and never destroys it.
#ifndef KEVO_JAVAVMPROCESS_H
#define KEVO_JAVAVMPROCESS_H

#include <jni.h>

// Gives the process's VM and the calling thread's environment. *attached
// is true when this call attached the thread (a VM it created included) and
// the caller must detach it again. On failure returns -901 and sets nothing.
int KevoAcquireJavaVM(JavaVM** vm, JNIEnv** env, bool* attached);
// Detaches the calling thread when KevoAcquireJavaVM attached it.
void KevoReleaseJavaVM(JavaVM* vm, bool attached);

// For tests: makes the nth VM creation from now (1 = the next) fail while
// its options are built, with std::bad_alloc as an exhausted heap
// would; 0 switches failures off. Exported only by the testing build.
void KevoTestingFailAllocation(int nth);

#endif
