// The two JNI function tables of the emulation and the library's entry
// points. Every slot starts as a trap that records its index and returns
// 0; the slots the service library uses are then set to the functions
// below. A trap pops exactly its slot's arguments (stdcall on 32-bit
// Windows), so that a caller survives it and the report tells the tale.
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "EmuVm.h"

namespace {

enum { TABLE_ENV, TABLE_VM };
void TrapHit(int table, int slot);

// What a trapped slot returns, by the kind gen-slots.py gives it.
typedef void* PtrRet;
typedef void VoidRet;
typedef jfloat FloatRet;
typedef jdouble DoubleRet;
typedef jlong LongRet;
typedef void* W;   // one argument word

template <int Table, int Slot, typename R>
struct TrapOf {
    static R Hit() { TrapHit(Table, Slot); return R(); }
    static R JNICALL w1(W) { return Hit(); }
    static R JNICALL w2(W, W) { return Hit(); }
    static R JNICALL w3(W, W, W) { return Hit(); }
    static R JNICALL w4(W, W, W, W) { return Hit(); }
    static R JNICALL w5(W, W, W, W, W) { return Hit(); }
    static R wV(W, ...) { return Hit(); }   // variadic: the caller pops
};

struct SlotInfo {
    const char* name;
    void* trap;
};

#define JNI_SLOT(table, index, name, kind, words) SLOT_##table(index, name, kind, words)
#define TRAP_ENTRY(table, index, name, kind, words) \
    {#name, reinterpret_cast<void*>(&TrapOf<table, index, kind##Ret>::w##words)},

const SlotInfo kEnvSlots[] = {
#define SLOT_Env(index, name, kind, words) TRAP_ENTRY(TABLE_ENV, index, name, kind, words)
#define SLOT_Vm(index, name, kind, words)
#include "JniSlots.inc"
#undef SLOT_Env
#undef SLOT_Vm
};
const SlotInfo kVmSlots[] = {
#define SLOT_Env(index, name, kind, words)
#define SLOT_Vm(index, name, kind, words) TRAP_ENTRY(TABLE_VM, index, name, kind, words)
#include "JniSlots.inc"
#undef SLOT_Env
#undef SLOT_Vm
};

// A function table with every slot set to its trap.
template <typename Table, size_t N>
Table TrapTable(const SlotInfo (&slots)[N])
{
    static_assert(sizeof(Table) == N * sizeof(void*), "JniSlots.inc does not match this jni.h: run gen-slots.py");
    void* raw[N];
    for (size_t i = 0; i < N; ++i)
        raw[i] = slots[i].trap;
    Table table;
    memcpy(&table, raw, sizeof table);
    return table;
}

void TrapHit(int table, int slot)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    const SlotInfo* slots = table == TABLE_ENV ? kEnvSlots : kVmSlots;
    vm.Trap(table == TABLE_ENV ? "env" : "vm", slot, slots[slot].name);
}

// Entry of every implemented JNIEnv function: the VM lock, an attached
// thread and, unless JNI allows the function with an exception pending,
// none pending. ok is false when the function must not go on.
class Call {
public:
    explicit Call(const char* function, bool exceptionSafe = false)
        : vm(EmuVm::Get()), guard_(vm.lock), ok(true), function_(function)
    {
        if (vm.Current() == NULL) {
            vm.Misuse(function, "thread not attached");
            ok = false;
        } else if (!exceptionSafe && vm.Pending() != NULL) {
            vm.Misuse(function, "exception pending");
            ok = false;
        }
    }
    // The object behind a reference, which must be of the class given.
    EmuObject* Arg(jobject ref, EmuClass cls, const char* what)
    {
        EmuObject* object = vm.Deref(ref, function_);
        if (object != NULL && !EmuVm::IsA(object->cls, cls)) {
            vm.Misuse(function_, std::string(what) + " is not a " + EmuVm::ClassName(cls));
            return NULL;
        }
        if (object == NULL && ref == NULL)
            vm.Misuse(function_, std::string(what) + " is null");
        return object;
    }
    bool Oom()
    {
        if (!vm.scenario.OomAt(function_))
            return false;
        vm.Throw(C_OutOfMemoryError, "emulated: out of memory in the VM");
        return true;
    }

    EmuVm& vm;

private:
    std::lock_guard<std::recursive_mutex> guard_;

public:
    bool ok;

private:
    const char* function_;
};

// ---- classes, methods, objects ----------------------------------------------------

jint JNICALL GetVersion(JNIEnv*)
{
    return JNI_VERSION_1_8;
}

jclass JNICALL FindClass(JNIEnv*, const char* name)
{
    Call c("FindClass");
    if (!c.ok || c.Oom())
        return NULL;
    EmuClass cls;
    if (name == NULL || c.vm.scenario.Get("missingClass", std::string()) == name ||
        !EmuVm::FindClassByName(name, &cls)) {
        c.vm.Throw(C_NoClassDefFoundError, name != NULL ? name : "null");
        return NULL;
    }
    return static_cast<jclass>(c.vm.Local(c.vm.ClassObject(cls)));
}

jmethodID JNICALL GetMethodID(JNIEnv*, jclass cls, const char* name, const char* signature)
{
    Call c("GetMethodID");
    EmuObject* classObject = c.ok ? c.Arg(cls, C_Class, "class") : NULL;
    if (classObject == NULL || name == NULL || signature == NULL || c.Oom())
        return NULL;
    const EmuMethod* method = EmuVm::FindMethod(classObject->classValue, name, signature);
    if (method == NULL)
        c.vm.Throw(C_NoSuchMethodError, name);
    return reinterpret_cast<jmethodID>(const_cast<EmuMethod*>(method));
}

jboolean JNICALL IsInstanceOf(JNIEnv*, jobject object, jclass cls)
{
    Call c("IsInstanceOf");
    EmuObject* classObject = c.ok ? c.Arg(cls, C_Class, "class") : NULL;
    if (classObject == NULL)
        return JNI_FALSE;
    EmuObject* target = c.vm.Deref(object, "IsInstanceOf");
    // null is an instance of every class.
    return target == NULL || EmuVm::IsA(target->cls, classObject->classValue) ? JNI_TRUE : JNI_FALSE;
}

// The method behind an ID, if the emulation handed it out and it fits.
const EmuMethod* Method(Call& c, jmethodID id, const char* function, bool wantObject)
{
    const EmuMethod* method = EmuVm::KnownMethod(id);
    if (method == NULL) {
        c.vm.Misuse(function, "unknown method ID");
        return NULL;
    }
    bool returnsObject = method->signature[strlen(method->signature) - 1] == ';';
    if (strcmp(method->name, "<init>") != 0 && returnsObject != wantObject) {
        c.vm.Misuse(function, std::string("wrong return type for ") + method->name);
        return NULL;
    }
    return method;
}

jobject NewServiceObject(jclass cls, jmethodID constructor, jobject argument)
{
    Call c("NewObject");
    EmuObject* classObject = c.ok ? c.Arg(cls, C_Class, "class") : NULL;
    const EmuMethod* method = classObject != NULL ? Method(c, constructor, "NewObject", false) : NULL;
    if (method == NULL)
        return NULL;
    if (strcmp(method->name, "<init>") != 0 || classObject->classValue != method->owner) {
        c.vm.Misuse("NewObject", "not a constructor of the class");
        return NULL;
    }
    EmuObject* bytes = c.Arg(argument, C_ByteArray, "argument");
    if (bytes == NULL || c.Oom())
        return NULL;
    EmuObject* object = c.vm.New(method->owner);
    EmuInvoke(c.vm, object, method, bytes);
    return c.vm.Pending() != NULL ? NULL : c.vm.Local(object);
}

jobject JNICALL NewObjectV(JNIEnv*, jclass cls, jmethodID constructor, va_list args)
{
    return NewServiceObject(cls, constructor, va_arg(args, jobject));
}

jobject JNICALL NewObjectA(JNIEnv*, jclass cls, jmethodID constructor, const jvalue* args)
{
    return NewServiceObject(cls, constructor, args != NULL ? args[0].l : NULL);
}

jobject JNICALL NewObject(JNIEnv* env, jclass cls, jmethodID constructor, ...)
{
    va_list args;
    va_start(args, constructor);
    jobject object = NewObjectV(env, cls, constructor, args);
    va_end(args);
    return object;
}

jvalue CallMethod(jobject target, jmethodID id, const char* function, bool wantObject)
{
    jvalue none;
    memset(&none, 0, sizeof none);
    Call c(function);
    const EmuMethod* method = c.ok ? Method(c, id, function, wantObject) : NULL;
    EmuObject* receiver = method != NULL ? c.Arg(target, method->owner, "receiver") : NULL;
    if (receiver == NULL || c.Oom())
        return none;
    return EmuInvoke(c.vm, receiver, method, NULL);
}

jobject JNICALL CallObjectMethodV(JNIEnv*, jobject target, jmethodID method, va_list)
{
    return CallMethod(target, method, "CallObjectMethod", true).l;
}

jobject JNICALL CallObjectMethodA(JNIEnv*, jobject target, jmethodID method, const jvalue*)
{
    return CallMethod(target, method, "CallObjectMethod", true).l;
}

jobject JNICALL CallObjectMethod(JNIEnv*, jobject target, jmethodID method, ...)
{
    return CallMethod(target, method, "CallObjectMethod", true).l;
}

jint JNICALL CallIntMethodV(JNIEnv*, jobject target, jmethodID method, va_list)
{
    return CallMethod(target, method, "CallIntMethod", false).i;
}

jint JNICALL CallIntMethodA(JNIEnv*, jobject target, jmethodID method, const jvalue*)
{
    return CallMethod(target, method, "CallIntMethod", false).i;
}

jint JNICALL CallIntMethod(JNIEnv*, jobject target, jmethodID method, ...)
{
    return CallMethod(target, method, "CallIntMethod", false).i;
}

// ---- exceptions and references -------------------------------------------------------

jthrowable JNICALL ExceptionOccurred(JNIEnv*)
{
    Call c("ExceptionOccurred", true);
    return c.ok ? static_cast<jthrowable>(c.vm.Local(c.vm.Pending())) : NULL;
}

void JNICALL ExceptionClear(JNIEnv*)
{
    Call c("ExceptionClear", true);
    if (c.ok)
        c.vm.ClearPending();
}

jboolean JNICALL ExceptionCheck(JNIEnv*)
{
    Call c("ExceptionCheck", true);
    return c.ok && c.vm.Pending() != NULL ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL PushLocalFrame(JNIEnv*, jint capacity)
{
    Call c("PushLocalFrame", true);
    if (!c.ok)
        return JNI_ERR;
    if (capacity < 0) {
        c.vm.Misuse("PushLocalFrame", "negative capacity");
        return JNI_ERR;
    }
    if (c.Oom())
        return JNI_ENOMEM;
    c.vm.Current()->frames.push_back(std::vector<EmuRef*>());
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv*, jobject result)
{
    Call c("PopLocalFrame", true);
    if (!c.ok)
        return NULL;
    EmuThread* thread = c.vm.Current();
    if (thread->frames.size() < 2) {
        c.vm.Misuse("PopLocalFrame", "no frame pushed");
        return NULL;
    }
    EmuObject* kept = c.vm.Deref(result, "PopLocalFrame");
    for (EmuRef* ref : thread->frames.back())
        ref->live = false;
    thread->frames.pop_back();
    jobject moved = c.vm.Local(kept);
    c.vm.WriteReport();
    return moved;
}

void JNICALL DeleteLocalRef(JNIEnv*, jobject ref)
{
    Call c("DeleteLocalRef", true);
    if (c.ok && ref != NULL && !c.vm.DeleteLocal(ref))
        c.vm.Misuse("DeleteLocalRef", "not a live local reference of this thread");
}

// ---- strings and arrays -----------------------------------------------------------------

jsize JNICALL GetStringLength(JNIEnv*, jstring text)
{
    Call c("GetStringLength");
    EmuObject* s = c.ok ? c.Arg(text, C_String, "string") : NULL;
    return s != NULL ? static_cast<jsize>(s->text.size()) : 0;
}

const jchar* JNICALL GetStringChars(JNIEnv*, jstring text, jboolean* isCopy)
{
    Call c("GetStringChars");
    EmuObject* s = c.ok ? c.Arg(text, C_String, "string") : NULL;
    if (s == NULL || c.Oom())
        return NULL;
    jchar* chars = static_cast<jchar*>(calloc(s->text.size() + 1, sizeof(jchar)));
    if (chars == NULL)
        return NULL;
    memcpy(chars, s->text.data(), s->text.size() * sizeof(jchar));
    if (isCopy != NULL)
        *isCopy = JNI_TRUE;
    c.vm.CharsTaken(chars);
    return chars;
}

void ReleaseChars(const char* function, const void* chars)
{
    Call c(function, true);
    if (!c.ok)
        return;
    if (!c.vm.CharsReleased(chars)) {
        c.vm.Misuse(function, "characters not handed out");
        return;
    }
    free(const_cast<void*>(chars));
}

void JNICALL ReleaseStringChars(JNIEnv*, jstring, const jchar* chars)
{
    ReleaseChars("ReleaseStringChars", chars);
}

jsize JNICALL GetStringUTFLength(JNIEnv*, jstring text)
{
    Call c("GetStringUTFLength");
    EmuObject* s = c.ok ? c.Arg(text, C_String, "string") : NULL;
    return s != NULL ? static_cast<jsize>(EmuModifiedUtf8(s->text).size()) : 0;
}

const char* JNICALL GetStringUTFChars(JNIEnv*, jstring text, jboolean* isCopy)
{
    Call c("GetStringUTFChars");
    EmuObject* s = c.ok ? c.Arg(text, C_String, "string") : NULL;
    if (s == NULL || c.Oom())
        return NULL;
    std::string utf = EmuModifiedUtf8(s->text);
    char* chars = static_cast<char*>(malloc(utf.size() + 1));
    if (chars == NULL)
        return NULL;
    memcpy(chars, utf.c_str(), utf.size() + 1);
    if (isCopy != NULL)
        *isCopy = JNI_TRUE;
    c.vm.CharsTaken(chars);
    return chars;
}

void JNICALL ReleaseStringUTFChars(JNIEnv*, jstring, const char* chars)
{
    ReleaseChars("ReleaseStringUTFChars", chars);
}

jbyteArray JNICALL NewByteArray(JNIEnv*, jsize length)
{
    Call c("NewByteArray");
    if (!c.ok)
        return NULL;
    if (length < 0) {
        c.vm.Misuse("NewByteArray", "negative length");
        return NULL;
    }
    if (c.Oom())
        return NULL;
    EmuObject* array = c.vm.New(C_ByteArray);
    array->bytes.assign(static_cast<size_t>(length), 0);
    return static_cast<jbyteArray>(c.vm.Local(array));
}

void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray target, jsize start, jsize length, const jbyte* bytes)
{
    Call c("SetByteArrayRegion");
    EmuObject* array = c.ok ? c.Arg(target, C_ByteArray, "array") : NULL;
    if (array == NULL)
        return;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > array->bytes.size()) {
        c.vm.Throw(C_IndexOutOfBounds, "Array region out of bounds");
        return;
    }
    if (length > 0)
        memcpy(&array->bytes[static_cast<size_t>(start)], bytes, static_cast<size_t>(length));
}

// ---- the invocation interface ----------------------------------------------------------

bool KnownVersion(jint version)
{
    return version == JNI_VERSION_1_1 || version == JNI_VERSION_1_2 || version == JNI_VERSION_1_4 ||
           version == JNI_VERSION_1_6 || version == JNI_VERSION_1_8;
}

jint JNICALL DestroyJavaVM(JavaVM*)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    vm.DestroyAll();
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM*, void** env, void*)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    if (vm.destroyed || env == NULL)
        return JNI_ERR;
    if (vm.Current() == NULL)
        vm.LoadScenario();
    vm.Attach();
    *env = EmuEnv();
    return JNI_OK;
}

jint JNICALL DetachCurrentThread(JavaVM*)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    if (vm.Current() == NULL)
        return JNI_EDETACHED;
    vm.Detach();
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM*, void** env, jint version)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    if (env == NULL)
        return JNI_ERR;
    *env = NULL;
    if (!KnownVersion(version))
        return JNI_EVERSION;
    if (vm.Current() == NULL)
        return JNI_EDETACHED;
    *env = EmuEnv();
    return JNI_OK;
}

JNINativeInterface_ EnvTable()
{
    JNINativeInterface_ table = TrapTable<JNINativeInterface_>(kEnvSlots);
    // The slots the service library uses, and their plain siblings.
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetMethodID = GetMethodID;
    table.IsInstanceOf = IsInstanceOf;
    table.NewObject = NewObject;
    table.NewObjectV = NewObjectV;
    table.NewObjectA = NewObjectA;
    table.CallObjectMethod = CallObjectMethod;
    table.CallObjectMethodV = CallObjectMethodV;
    table.CallObjectMethodA = CallObjectMethodA;
    table.CallIntMethod = CallIntMethod;
    table.CallIntMethodV = CallIntMethodV;
    table.CallIntMethodA = CallIntMethodA;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.DeleteLocalRef = DeleteLocalRef;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.GetStringUTFLength = GetStringUTFLength;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.NewByteArray = NewByteArray;
    table.SetByteArrayRegion = SetByteArrayRegion;
    return table;
}

JNIInvokeInterface_ VmTable()
{
    JNIInvokeInterface_ table = TrapTable<JNIInvokeInterface_>(kVmSlots);
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.GetEnv = GetEnv;
    table.AttachCurrentThreadAsDaemon = AttachCurrentThread;
    return table;
}

}  // namespace

JNIEnv* EmuEnv()
{
    static const JNINativeInterface_ table = EnvTable();
    static JNIEnv env = {&table};
    return &env;
}

JavaVM* EmuJavaVm()
{
    static const JNIInvokeInterface_ table = VmTable();
    static JavaVM javaVm = {&table};
    return &javaVm;
}

// ---- the library's entry points ------------------------------------------------------------

extern "C" JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    // A host looks for the VM at the start of each of its calls: the
    // scenario file may have changed since the last one.
    vm.LoadScenario();
    bool running = vm.created && !vm.destroyed;
    if (running && vms != NULL && capacity > 0)
        vms[0] = EmuJavaVm();
    if (count != NULL)
        *count = running ? 1 : 0;
    return JNI_OK;
}

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** javaVm, void** env, void* args)
{
    EmuVm& vm = EmuVm::Get();
    std::lock_guard<std::recursive_mutex> guard(vm.lock);
    // As HotSpot: one VM per process, never a second after DestroyJavaVM.
    if (vm.created)
        return vm.destroyed ? JNI_ERR : JNI_EEXIST;
    const JavaVMInitArgs* init = static_cast<const JavaVMInitArgs*>(args);
    if (javaVm == NULL || env == NULL || init == NULL || !KnownVersion(init->version) ||
        init->version == JNI_VERSION_1_1)
        return JNI_EVERSION;
    // As a VM: an option list it cannot read refuses the creation.
    if (init->nOptions < 0 || (init->nOptions > 0 && init->options == NULL))
        return JNI_EINVAL;
    for (jint i = 0; i < init->nOptions; ++i)
        if (init->options[i].optionString == NULL)
            return JNI_EINVAL;
    vm.LoadScenario();
    vm.created = true;
    for (jint i = 0; i < init->nOptions; ++i)
        vm.options.push_back(init->options[i].optionString);
    vm.Attach();
    *javaVm = EmuJavaVm();
    *env = EmuEnv();
    return JNI_OK;
}
