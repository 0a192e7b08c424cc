// The Java VM bridge: one handler per export call looks up the service's
// Java classes, builds a service object from the certificate bytes, calls
// one service method and turns its results and exceptions into native data
// and internal result codes.
//
// The VM itself lives for the whole process (see JavaVmProcess.h): HotSpot
// cannot create a second VM after DestroyJavaVM, so the handler borrows the
// process's VM for the call, attaching the calling thread when needed, and
// releases every local reference of the call through a local frame.
#ifndef KEVO_JVMHANDLER_H
#define KEVO_JVMHANDLER_H

#include <jni.h>
#include <stddef.h>
#include <stdint.h>

#include "KEVOServiceAPI.h"

class KEVO_JVMHandler {
public:
    enum InstanceKind { KIND_BASIC_DATA = 1, KIND_CERT_STATUS = 2, KIND_CONFIRM = 3 };

    KEVO_JVMHandler();
    ~KEVO_JVMHandler();

    int32_t KEVO_JVM_InitLibrary();
    void KEVO_JVM_UninitLibrary();
    int32_t KEVO_JVM_CreateInstance(int kind, const KEVOBinaryData* certificate);
    int32_t KEVO_JVM_getBasicData(const KEVOBinaryData* certificate, KEVOBasicData* record);
    // On success returns the certificate status; both outputs are 0 on
    // failure after they were first set, untouched before that.
    int32_t KEVO_JVM_verifyCert(const KEVOBinaryData* certificate, int32_t* certPathStatus,
                                int32_t* responseStatus);
    int32_t KEVO_JVM_confirm(const KEVOBinaryData* certificate);
    int32_t KEVO_JVM_CreateExceptionHandle();
    jthrowable KEVO_JVM_ExceptionOccurred(JNIEnv* env);
    int32_t KEVO_JVM_getExceptionCode(jthrowable exception);
    void DestoryExceptionHandle();
    void DestroyUserCertServiceHandle();
    static int32_t CS_KEVO_JVM_FreeBasicData(KEVOBasicData* record);
    // size in: the buffer's size in bytes; out (without a buffer): the size
    // the string needs, terminator included.
    int32_t KEVO_JVM_GetStringChars(jstring text, char* buffer, size_t* size);
    int32_t KEVO_JVM_GetStringWideChars(jstring text, uint16_t* buffer, size_t* size);

private:
    struct ServiceCommon {
        jobject service;
        jmethodID constructor;
        jmethodID serviceMethod;
        jclass resultClass;
    };
    struct BasicDataHandle {
        ServiceCommon common;
        jmethodID getAddress, getDateOfBirth, getGender, getName, getSubstituteCharacterOfAddress,
            getSubstituteCharacterOfName;
    };
    struct CertStatusHandle {
        ServiceCommon common;
        jmethodID getCertPathStatus, getCertStatus, getResponseStatus;
    };
    struct ConfirmHandle {
        ServiceCommon common;
        jmethodID getCode, getException, getMessage;
    };
    struct UserCertExceptionHandle {
        jclass cls;
        jmethodID getErrorCode;
    };
    struct ExceptionHandle {
        jclass exceptionClass;
        jmethodID exceptionToString;
        jclass outOfMemoryClass;
        jmethodID outOfMemoryToString;
        UserCertExceptionHandle* userCert;
    };

    KEVO_JVMHandler(const KEVO_JVMHandler&);
    KEVO_JVMHandler& operator=(const KEVO_JVMHandler&);

    void ClearException();  // the pending exception, with its trace lines

    // JNI calls with their "Call %s" / "End %s" trace lines.
    jclass FindClass(const char* name);
    jmethodID GetMethodID(jclass cls, const char* name, const char* signature);
    jobject CallObjectMethod(jobject target, jmethodID method);
    jint CallIntMethod(jobject target, jmethodID method);
    jboolean IsInstanceOf(jobject target, jclass cls);
    void DeleteLocalRef(jobject ref);
    // The two checks of a verified step: 0 lets the operation go on.
    // *thrown (when given) tells whether an exception was pending.
    int32_t CheckException(bool* thrown = NULL);
    int32_t CheckNull(const void* result, const char* function);
    // Result object check: present and an instance of cls, else -999.
    int32_t CheckResultObject(jobject result, jclass cls);
    // Calls a string getter and copies its text into a new field buffer.
    template <typename Unit>
    int32_t FetchField(jmethodID getter, jobject target, Unit** field,
                       int32_t (KEVO_JVMHandler::*copyText)(jstring, Unit*, size_t*));
    int32_t FetchNarrowField(jmethodID getter, jobject target, char** field);
    int32_t FetchWideField(jmethodID getter, jobject target, uint16_t** field);
    int32_t CreateExceptionHandleSteps();
    ServiceCommon* InstanceCommon(int kind);

    JavaVM* m_pJavaVM;
    JNIEnv* m_pEnv;
    jclass m_clsUserCertService;
    BasicDataHandle* m_pBasicDataHandle;
    CertStatusHandle* m_pCertStatusHandle;
    ConfirmHandle* m_pConfirmHandle;
    ExceptionHandle* m_pExceptionHandle;
    // What this call did to the process's VM, undone by UninitLibrary.
    bool m_bAttachedThread;
    bool m_bPushedFrame;
};

#endif
