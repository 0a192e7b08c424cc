#include "EmuVm.h"

#include <stdio.h>
#include <string.h>

#include "EmuHost.h"

namespace {

const unsigned kRefMagic = 0x4a524546;   // "JREF"

struct ClassInfo {
    const char* name;
    EmuClass super;
};

const ClassInfo kClasses[C_Count] = {
    {"java/lang/Object", C_Object},
    {"java/lang/Class", C_Object},
    {"java/lang/String", C_Object},
    {"[B", C_Object},
    {"java/lang/Throwable", C_Object},
    {"java/lang/Exception", C_Throwable},
    {"java/lang/RuntimeException", C_Exception},
    {"java/lang/ArrayIndexOutOfBoundsException", C_RuntimeException},
    {"java/lang/Error", C_Throwable},
    {"java/lang/OutOfMemoryError", C_Error},
    {"java/lang/NoClassDefFoundError", C_Error},
    {"java/lang/NoSuchMethodError", C_Error},
    {"kevo/appli/KEVOUserCertException", C_Exception},
    {"kevo/appli/KEVOUserCertService", C_Object},
    {"kevo/appli/KEVOUserCertBasicData", C_Object},
    {"kevo/appli/KEVOUserCertCertStatus", C_Object},
    {"kevo/appli/KEVOConfirmResult", C_Object},
    {"kevo/appli/Impostor", C_Object},
};

const char kString[] = "()Ljava/lang/String;";

const EmuMethod kMethods[] = {
    {C_Object, "toString", kString},
    {C_Throwable, "toString", kString},
    {C_Throwable, "getMessage", kString},
    {C_UserCertException, "getErrorCode", "()I"},
    {C_Service, "<init>", "([B)V"},
    {C_Service, "getBasicData", "()Lkevo/appli/KEVOUserCertBasicData;"},
    {C_Service, "verifyCert", "()Lkevo/appli/KEVOUserCertCertStatus;"},
    {C_Service, "confirm", "()Lkevo/appli/KEVOConfirmResult;"},
    {C_BasicData, "getName", kString},
    {C_BasicData, "getAddress", kString},
    {C_BasicData, "getGender", kString},
    {C_BasicData, "getDateOfBirth", kString},
    {C_BasicData, "getSubstituteCharacterOfName", kString},
    {C_BasicData, "getSubstituteCharacterOfAddress", kString},
    {C_CertStatus, "getCertStatus", "()I"},
    {C_CertStatus, "getCertPathStatus", "()I"},
    {C_CertStatus, "getResponseStatus", "()I"},
    {C_ConfirmResult, "getCode", "()I"},
    {C_ConfirmResult, "getException", "()Ljava/lang/Exception;"},
    {C_ConfirmResult, "getMessage", kString},
};

}  // namespace

EmuVm& EmuVm::Get()
{
    static EmuVm vm;
    return vm;
}

EmuVm::EmuVm()
{
    for (int i = 0; i < C_Count; ++i) {
        classObjects_[i].cls = C_Class;
        classObjects_[i].classValue = static_cast<EmuClass>(i);
        classObjects_[i].hasText = false;
        classObjects_[i].code = 0;
    }
}

void EmuVm::LoadScenario()
{
    scenario.Parse(EmuReadNamedFile("KEVO_JVMEMU_SCENARIO", L"Scenario"));
}

// ---- threads ---------------------------------------------------------------------

EmuThread* EmuVm::Current()
{
    std::map<std::thread::id, EmuThread>::iterator it = threads_.find(std::this_thread::get_id());
    return it == threads_.end() ? NULL : &it->second;
}

EmuThread* EmuVm::Attach()
{
    EmuThread* thread = Current();
    if (thread == NULL) {
        thread = &threads_[std::this_thread::get_id()];
        thread->frames.assign(1, std::vector<EmuRef*>());
        thread->pending = NULL;
    }
    return thread;
}

size_t EmuVm::LiveRefs(const EmuThread& thread) const
{
    size_t live = 0;
    for (size_t f = 0; f < thread.frames.size(); ++f)
        live += thread.frames[f].size();
    return live;
}

void EmuVm::Detach()
{
    std::map<std::thread::id, EmuThread>::iterator it = threads_.find(std::this_thread::get_id());
    if (it == threads_.end())
        return;
    // A real VM frees them here; still, a call that left any behind leaks
    // them for as long as its thread stays attached.
    leaked_ += static_cast<long>(LiveRefs(it->second));
    threads_.erase(it);
    WriteReport();
}

void EmuVm::DestroyAll()
{
    for (std::map<std::thread::id, EmuThread>::iterator it = threads_.begin(); it != threads_.end(); ++it)
        leaked_ += static_cast<long>(LiveRefs(it->second));
    threads_.clear();
    destroyed = true;
    WriteReport();
}

// ---- objects and references -------------------------------------------------------

EmuObject* EmuVm::New(EmuClass cls)
{
    heap_.push_back(EmuObject());
    EmuObject* object = &heap_.back();
    object->cls = cls;
    object->classValue = C_Object;
    object->hasText = false;
    object->code = 0;
    return object;
}

EmuObject* EmuVm::NewString(const std::u16string& text)
{
    EmuObject* object = New(C_String);
    object->text = text;
    object->hasText = true;
    return object;
}

jobject EmuVm::Local(EmuObject* object)
{
    EmuThread* thread = Current();
    if (object == NULL || thread == NULL)
        return NULL;
    EmuRef ref = {kRefMagic, object, true};
    refs_.push_back(ref);
    thread->frames.back().push_back(&refs_.back());
    return reinterpret_cast<jobject>(&refs_.back());
}

EmuObject* EmuVm::Deref(jobject handle, const char* function)
{
    if (handle == NULL)
        return NULL;
    EmuRef* ref = reinterpret_cast<EmuRef*>(handle);
    if (ref->magic != kRefMagic) {
        Misuse(function, "not a reference");
        return NULL;
    }
    if (!ref->live) {
        Misuse(function, "deleted reference");
        return NULL;
    }
    return ref->object;
}

bool EmuVm::DeleteLocal(jobject handle)
{
    EmuThread* thread = Current();
    EmuRef* ref = reinterpret_cast<EmuRef*>(handle);
    if (thread == NULL || ref == NULL || ref->magic != kRefMagic || !ref->live)
        return false;
    for (size_t f = thread->frames.size(); f-- > 0;) {
        std::vector<EmuRef*>& frame = thread->frames[f];
        for (size_t i = 0; i < frame.size(); ++i) {
            if (frame[i] == ref) {
                frame.erase(frame.begin() + i);
                ref->live = false;
                return true;
            }
        }
    }
    return false;   // another thread's reference
}

bool EmuVm::IsA(EmuClass cls, EmuClass ancestor)
{
    for (;;) {
        if (cls == ancestor)
            return true;
        if (cls == C_Object)
            return false;
        cls = kClasses[cls].super;
    }
}

const char* EmuVm::ClassName(EmuClass cls)
{
    return kClasses[cls].name;
}

bool EmuVm::FindClassByName(const char* name, EmuClass* cls)
{
    for (int i = 0; i < C_Count; ++i) {
        if (strcmp(kClasses[i].name, name) == 0) {
            *cls = static_cast<EmuClass>(i);
            return true;
        }
    }
    return false;
}

const EmuMethod* EmuVm::FindMethod(EmuClass cls, const char* name, const char* signature)
{
    // The most derived declaration wins, as virtual dispatch would have it.
    for (;;) {
        for (size_t i = 0; i < sizeof kMethods / sizeof kMethods[0]; ++i) {
            const EmuMethod& m = kMethods[i];
            if (m.owner == cls && strcmp(m.name, name) == 0 && strcmp(m.signature, signature) == 0)
                return &m;
        }
        // Constructors are not inherited.
        if (cls == C_Object || strcmp(name, "<init>") == 0)
            return NULL;
        cls = kClasses[cls].super;
    }
}

const EmuMethod* EmuVm::KnownMethod(jmethodID id)
{
    for (size_t i = 0; i < sizeof kMethods / sizeof kMethods[0]; ++i)
        if (reinterpret_cast<jmethodID>(const_cast<EmuMethod*>(&kMethods[i])) == id)
            return &kMethods[i];
    return NULL;
}

// ---- exceptions ---------------------------------------------------------------------

void EmuVm::Throw(EmuClass cls, const std::string& message)
{
    EmuThread* thread = Current();
    if (thread == NULL)
        return;
    EmuObject* exception = New(cls);
    exception->text = EmuUtf16(message);
    exception->hasText = true;
    thread->pending = exception;
}

void EmuVm::ThrowUserCert(int code)
{
    EmuThread* thread = Current();
    if (thread == NULL)
        return;
    EmuObject* exception = New(C_UserCertException);
    exception->code = code;
    thread->pending = exception;
}

EmuObject* EmuVm::Pending()
{
    EmuThread* thread = Current();
    return thread != NULL ? thread->pending : NULL;
}

void EmuVm::ClearPending()
{
    EmuThread* thread = Current();
    if (thread != NULL)
        thread->pending = NULL;
}

// ---- report ---------------------------------------------------------------------------

void EmuVm::Trap(const char* table, int slot, const char* name)
{
    Record(std::string("trap ") + table + " " + std::to_string(slot) + " " + name);
}

void EmuVm::Misuse(const char* function, const std::string& what)
{
    Record(std::string("misuse ") + function + ": " + what);
}

void EmuVm::Record(const std::string& event)
{
    // Loudly: on standard error at once, and in the report.
    fprintf(stderr, "jvmemu: %s\n", event.c_str());
    fflush(stderr);
    events_.push_back(event);
    WriteReport();
}

void EmuVm::WriteReport()
{
    std::string text;
    for (size_t i = 0; i < options.size(); ++i)
        text += "option " + options[i] + "\n";
    for (size_t i = 0; i < events_.size(); ++i)
        text += events_[i] + "\n";
    long live = 0;
    for (std::map<std::thread::id, EmuThread>::iterator it = threads_.begin(); it != threads_.end(); ++it)
        live += static_cast<long>(LiveRefs(it->second));
    text += "leaked " + std::to_string(leaked_) + "\n";
    text += "live " + std::to_string(live) + "\n";
    text += "unreleased " + std::to_string(unreleasedChars_.size()) + "\n";
    EmuWriteNamedFile("KEVO_JVMEMU_TRAPS", L"Traps", text);
}
