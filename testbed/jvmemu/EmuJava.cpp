// The Java side of the emulated service: what each method of the service
// classes does, as the scenario of the call says.
#include <stdio.h>
#include <string.h>

#include "EmuVm.h"

namespace {

const char* const kServiceMethods[] = {"getBasicData", "verifyCert", "confirm"};

// Scenario keys of the string getters and their defaults (UTF-8, as the
// scenario file is, whatever the narrow character set of the build).
struct Getter {
    const char* method;
    const char* key;
    const char* fallback;
};
const Getter kGetters[] = {
    {"getName", "name", u8"山田太郎"},
    {"getAddress", "address", u8"東京都千代田区霞が関一丁目一番地"},
    {"getGender", "gender", "1"},
    {"getDateOfBirth", "dateOfBirth", "19700401"},
    {"getSubstituteCharacterOfName", "substituteCharacterOfName", "0"},
    {"getSubstituteCharacterOfAddress", "substituteCharacterOfAddress", "0"},
};

struct IntGetter {
    const char* method;
    const char* key;
    int fallback;
};
const IntGetter kIntGetters[] = {
    {"getCertStatus", "certStatus", 0},
    {"getCertPathStatus", "certPathStatus", 0},
    {"getResponseStatus", "responseStatus", 0},
    {"getCode", "confirmCode", 200},
};

bool IsServiceMethod(const char* name)
{
    for (const char* m : kServiceMethods)
        if (strcmp(m, name) == 0)
            return true;
    return false;
}

std::string Hex(const std::vector<unsigned char>& bytes)
{
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
        snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// Throws what the scenario has the method throw; true when it did.
bool Raise(EmuVm& vm, const char* method)
{
    EmuScenario& s = vm.scenario;
    if (s.OomAt(method)) {
        vm.Throw(C_OutOfMemoryError, "emulated: Java heap space");
        return true;
    }
    std::string at = s.Get("at", std::string());
    if (at.empty() ? !IsServiceMethod(method) : at != method)
        return false;
    if (s.Has("throw")) {
        vm.ThrowUserCert(s.Int("throw", 0));
        return true;
    }
    if (s.Has("exception")) {
        vm.Throw(C_Exception, s.Get("exception", std::string()));
        return true;
    }
    return false;
}

std::u16string ToString(const EmuObject* object)
{
    std::string name = EmuVm::ClassName(object->cls);
    for (char& c : name)
        if (c == '/')
            c = '.';
    if (!EmuVm::IsA(object->cls, C_Throwable))
        return EmuUtf16(name + "@1");
    std::u16string text = EmuUtf16(name);
    if (object->cls == C_UserCertException)
        return text + EmuUtf16(": error code " + std::to_string(object->code));
    return object->hasText ? text + u": " + object->text : text;
}

}  // namespace

jvalue EmuInvoke(EmuVm& vm, EmuObject* receiver, const EmuMethod* method, EmuObject* argument)
{
    jvalue result;
    memset(&result, 0, sizeof result);
    const char* name = method->name;
    if (Raise(vm, name))
        return result;
    EmuScenario& s = vm.scenario;

    if (strcmp(name, "<init>") == 0) {
        receiver->bytes = argument->bytes;
    } else if (IsServiceMethod(name)) {
        std::string how = s.Get("result", std::string());
        EmuClass cls = strcmp(name, "getBasicData") == 0 ? C_BasicData
                       : strcmp(name, "verifyCert") == 0 ? C_CertStatus
                                                          : C_ConfirmResult;
        if (how == "null")
            return result;
        EmuObject* object = vm.New(how == "wrong" ? C_Impostor : cls);
        object->bytes = receiver->bytes;
        result.l = vm.Local(object);
    } else if (strcmp(name, "toString") == 0) {
        result.l = vm.Local(vm.NewString(ToString(receiver)));
    } else if (strcmp(name, "getMessage") == 0) {
        result.l = vm.Local(vm.NewString(receiver->cls == C_ConfirmResult ? u"emulated" : receiver->text));
    } else if (strcmp(name, "getErrorCode") == 0) {
        result.i = receiver->code;
    } else if (strcmp(name, "getException") == 0) {
        result.l = NULL;
    } else {
        for (const Getter& g : kGetters) {
            if (strcmp(name, g.method) != 0)
                continue;
            std::string value = s.Get(g.key, g.fallback);
            if (value == "@null")
                return result;
            result.l = vm.Local(vm.NewString(EmuUtf16(value == "@hex" ? Hex(receiver->bytes) : value)));
        }
        for (const IntGetter& g : kIntGetters)
            if (strcmp(name, g.method) == 0)
                result.i = s.Int(g.key, g.fallback);
    }
    return result;
}
