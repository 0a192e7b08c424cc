// The emulated VM's state: classes and methods of the service, objects,
// local references in per-thread frames, pending exceptions, and the
// report of everything a caller did wrong.
#ifndef KEVO_JVMEMU_VM_H
#define KEVO_JVMEMU_VM_H

#include <jni.h>

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "EmuScenario.h"

// Classes the emulation knows, each with its superclass.
enum EmuClass {
    C_Object, C_Class, C_String, C_ByteArray, C_Throwable, C_Exception, C_RuntimeException,
    C_IndexOutOfBounds, C_Error, C_OutOfMemoryError, C_NoClassDefFoundError, C_NoSuchMethodError,
    C_UserCertException, C_Service, C_BasicData, C_CertStatus, C_ConfirmResult, C_Impostor, C_Count
};

struct EmuMethod {
    EmuClass owner;
    const char* name;
    const char* signature;
};

struct EmuObject {
    EmuClass cls;
    EmuClass classValue;              // what a class object stands for
    std::u16string text;              // a string's units, a throwable's message
    bool hasText;
    std::vector<unsigned char> bytes; // a byte array, the service's certificate
    int code;                         // a KEVOUserCertException's error code
};

// A local reference: never freed, so that a stale one is recognised.
struct EmuRef {
    unsigned magic;
    EmuObject* object;
    bool live;
};

struct EmuThread {
    std::vector<std::vector<EmuRef*> > frames;   // [0] is the thread's own
    EmuObject* pending;
};

class EmuVm {
public:
    static EmuVm& Get();

    std::recursive_mutex lock;
    EmuScenario scenario;
    bool created = false, destroyed = false;
    // The option strings the VM was created with, as given (reported).
    std::vector<std::string> options;

    // Reads the scenario file again: each service call starts here.
    void LoadScenario();

    // Threads.
    EmuThread* Current();                 // null when not attached
    EmuThread* Attach();
    void Detach();
    void DestroyAll();

    // Objects and references of the calling thread.
    EmuObject* New(EmuClass cls);
    EmuObject* NewString(const std::u16string& text);
    jobject Local(EmuObject* object);     // null object -> null reference
    EmuObject* Deref(jobject ref, const char* function);
    bool DeleteLocal(jobject ref);
    EmuObject* ClassObject(EmuClass cls) { return &classObjects_[cls]; }
    static bool IsA(EmuClass cls, EmuClass ancestor);
    static const char* ClassName(EmuClass cls);
    static bool FindClassByName(const char* name, EmuClass* cls);
    static const EmuMethod* FindMethod(EmuClass cls, const char* name, const char* signature);
    // The method behind an ID that FindMethod handed out, else null.
    static const EmuMethod* KnownMethod(jmethodID id);

    // Exceptions of the calling thread.
    void Throw(EmuClass cls, const std::string& message);
    void ThrowUserCert(int code);
    EmuObject* Pending();
    void ClearPending();

    // The report: traps, misuse, leaked references, unreleased characters.
    void Trap(const char* table, int slot, const char* name);
    void Misuse(const char* function, const std::string& what);
    void CharsTaken(const void* chars) { unreleasedChars_.insert(chars); }
    bool CharsReleased(const void* chars) { return unreleasedChars_.erase(chars) != 0; }
    void WriteReport();

private:
    EmuVm();
    size_t LiveRefs(const EmuThread& thread) const;
    void Record(const std::string& event);

    std::map<std::thread::id, EmuThread> threads_;
    std::deque<EmuObject> heap_;
    std::deque<EmuRef> refs_;
    EmuObject classObjects_[C_Count];
    std::vector<std::string> events_;
    long leaked_ = 0;
    std::set<const void*> unreleasedChars_;
};

// Builds the two function tables: implemented slots, traps elsewhere.
JNIEnv* EmuEnv();
JavaVM* EmuJavaVm();

// Runs a Java method of the service classes on the receiver.
jvalue EmuInvoke(EmuVm& vm, EmuObject* receiver, const EmuMethod* method, EmuObject* argument);

#endif
