#include "KEVO_JVMHandler.h"

#include <new>
#include <stdlib.h>
#include <string.h>

#include "JavaVmProcess.h"
#include "ServiceApiCodes.h"
#include "TraceLog.h"

namespace {

const char kServiceClass[] = "kevo/appli/KEVOUserCertService";
const char kUserCertExceptionClass[] = "kevo/appli/KEVOUserCertException";
const char kStringGetter[] = "()Ljava/lang/String;";
// Local references one call holds at most at once, with room to spare; the
// VM grows the frame beyond it when needed.
const jint kLocalFrameCapacity = 64;

void TraceEnter(const char* operation)
{
    TraceLog(TRACE_LEVEL_FLOW, "KEVO_JVMHandler::%s_Enter\n", operation);
}

int32_t TraceExit(const char* operation, int32_t rc)
{
    TraceLog(TRACE_LEVEL_FLOW, "KEVO_JVMHandler::%s_Exit_returns %d\n", operation, rc);
    return rc;
}

void TraceCall(const char* function)
{
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", function);
}

void TraceEnd(const char* function)
{
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", function);
}

bool CertificateUsable(const KEVOBinaryData* certificate)
{
    return certificate != NULL && certificate->length != 0 && certificate->data != NULL;
}

}  // namespace

KEVO_JVMHandler::KEVO_JVMHandler()
    : m_pJavaVM(NULL),
      m_pEnv(NULL),
      m_clsUserCertService(NULL),
      m_pBasicDataHandle(NULL),
      m_pCertStatusHandle(NULL),
      m_pConfirmHandle(NULL),
      m_pExceptionHandle(NULL),
      m_bAttachedThread(false),
      m_bPushedFrame(false)
{
}

KEVO_JVMHandler::~KEVO_JVMHandler()
{
    KEVO_JVM_UninitLibrary();
}

// ---- JNI calls with their trace lines ---------------------------------------

jclass KEVO_JVMHandler::FindClass(const char* name)
{
    TraceCall("FindClass");
    jclass cls = m_pEnv->FindClass(name);
    TraceEnd("FindClass");
    return cls;
}

jmethodID KEVO_JVMHandler::GetMethodID(jclass cls, const char* name, const char* signature)
{
    TraceCall("GetMethodID");
    jmethodID method = m_pEnv->GetMethodID(cls, name, signature);
    TraceEnd("GetMethodID");
    return method;
}

jobject KEVO_JVMHandler::CallObjectMethod(jobject target, jmethodID method)
{
    TraceCall("CallObjectMethod");
    jobject result = m_pEnv->CallObjectMethod(target, method);
    TraceEnd("CallObjectMethod");
    return result;
}

jint KEVO_JVMHandler::CallIntMethod(jobject target, jmethodID method)
{
    TraceCall("CallIntMethod");
    jint result = m_pEnv->CallIntMethod(target, method);
    TraceEnd("CallIntMethod");
    return result;
}

void KEVO_JVMHandler::DeleteLocalRef(jobject ref)
{
    TraceCall("DeleteLocalRef");
    m_pEnv->DeleteLocalRef(ref);
    TraceEnd("DeleteLocalRef");
}

jboolean KEVO_JVMHandler::IsInstanceOf(jobject target, jclass cls)
{
    TraceCall("IsInstanceOf");
    jboolean result = m_pEnv->IsInstanceOf(target, cls);
    TraceEnd("IsInstanceOf");
    return result;
}

int32_t KEVO_JVMHandler::CheckException(bool* thrown)
{
    jthrowable exception = KEVO_JVM_ExceptionOccurred(m_pEnv);
    if (thrown != NULL)
        *thrown = exception != NULL;
    if (exception == NULL)
        return KEVO_RC_OK;
    int32_t code = KEVO_JVM_getExceptionCode(exception);
    DeleteLocalRef(exception);
    return code;
}

int32_t KEVO_JVMHandler::CheckNull(const void* result, const char* function)
{
    if (result != NULL)
        return KEVO_RC_OK;
    TraceLog(TRACE_LEVEL_ERROR, "Error %s returns %d\n", function, KEVO_RC_JNI_FAILED);
    return KEVO_RC_JNI_FAILED;
}

int32_t KEVO_JVMHandler::CheckResultObject(jobject result, jclass cls)
{
    if (result == NULL || IsInstanceOf(result, cls) != JNI_TRUE) {
        TraceLog(TRACE_LEVEL_ERROR, "Unexpected Errors\n");
        return KEVO_RC_UNEXPECTED;
    }
    return KEVO_RC_OK;
}

// ---- VM and handles ---------------------------------------------------------------

int32_t KEVO_JVMHandler::KEVO_JVM_InitLibrary()
{
    const char* op = "KEVO_JVM_InitLibrary()";
    TraceEnter(op);
    if (m_pEnv != NULL)
        return TraceExit(op, KEVO_RC_BAD_ENV);   // already initialised: a caller's slip

    int32_t rc = KevoAcquireJavaVM(&m_pJavaVM, &m_pEnv, &m_bAttachedThread);
    if (rc != KEVO_RC_OK) {
        m_pJavaVM = NULL;
        m_pEnv = NULL;
        return TraceExit(op, rc);
    }
    // Every local reference of this call lives in this frame, so a thread
    // the host keeps attached does not collect them call after call.
    TraceCall("PushLocalFrame");
    jint pushed = m_pEnv->PushLocalFrame(kLocalFrameCapacity);
    TraceEnd("PushLocalFrame");
    if (pushed != 0) {
        ClearException();
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        KEVO_JVM_UninitLibrary();
        return TraceExit(op, KEVO_RC_NO_MEMORY);
    }
    m_bPushedFrame = true;

    rc = KEVO_JVM_CreateExceptionHandle();
    if (rc == KEVO_RC_OK) {
        m_clsUserCertService = FindClass(kServiceClass);
        rc = CheckException();
        if (rc == KEVO_RC_OK)
            rc = CheckNull(m_clsUserCertService, "FindClass");
    }
    if (rc != KEVO_RC_OK)
        KEVO_JVM_UninitLibrary();
    return TraceExit(op, rc);
}

void KEVO_JVMHandler::KEVO_JVM_UninitLibrary()
{
    const char* op = "KEVO_JVM_UninitLibrary()";
    TraceEnter(op);
    if (m_pEnv != NULL) {
        // A Java exception must not stay pending on a thread the host owns.
        TraceCall("ExceptionCheck");
        jboolean pending = m_pEnv->ExceptionCheck();
        TraceEnd("ExceptionCheck");
        if (pending) {
            ClearException();
        }
        if (m_bPushedFrame) {
            TraceCall("PopLocalFrame");
            m_pEnv->PopLocalFrame(NULL);
            TraceEnd("PopLocalFrame");
        }
        KevoReleaseJavaVM(m_pJavaVM, m_bAttachedThread);
    }
    m_bPushedFrame = false;
    m_bAttachedThread = false;
    m_pJavaVM = NULL;
    m_pEnv = NULL;
    m_clsUserCertService = NULL;
    DestoryExceptionHandle();
    DestroyUserCertServiceHandle();
    TraceExit(op, 0);
}

int32_t KEVO_JVMHandler::KEVO_JVM_CreateExceptionHandle()
{
    const char* op = "KEVO_JVM_CreateExceptionHandle()";
    TraceEnter(op);
    if (m_pEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Bad Env:JNIEnv is NULL\n");
        return TraceExit(op, KEVO_RC_BAD_ENV);
    }
    if (m_pExceptionHandle != NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Bad Env:ExceptionHandle is not NULL\n");
        return TraceExit(op, KEVO_RC_BAD_ENV);
    }
    m_pExceptionHandle = static_cast<ExceptionHandle*>(calloc(1, sizeof(ExceptionHandle)));
    if (m_pExceptionHandle == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        return TraceExit(op, KEVO_RC_NO_MEMORY);
    }
    int32_t rc = CreateExceptionHandleSteps();
    if (rc != KEVO_RC_OK)
        DestoryExceptionHandle();
    return TraceExit(op, rc);
}

int32_t KEVO_JVMHandler::CreateExceptionHandleSteps()
{
    ExceptionHandle* h = m_pExceptionHandle;
    // The handle that would classify an exception is what is being built,
    // so a failing lookup here is reported as unexpected, whatever it threw.
    struct Lookup {
        static int32_t Check(KEVO_JVMHandler* self, const void* result)
        {
            jthrowable pending = self->KEVO_JVM_ExceptionOccurred(self->m_pEnv);
            if (pending != NULL)
                self->DeleteLocalRef(pending);
            if (pending != NULL || result == NULL) {
                TraceLog(TRACE_LEVEL_ERROR, "Exception Occurred\n");
                return KEVO_RC_UNEXPECTED;
            }
            return KEVO_RC_OK;
        }
    };
    h->exceptionClass = FindClass("java/lang/Exception");
    if (Lookup::Check(this, h->exceptionClass) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    h->exceptionToString = GetMethodID(h->exceptionClass, "toString", kStringGetter);
    if (Lookup::Check(this, h->exceptionToString) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    h->outOfMemoryClass = FindClass("java/lang/OutOfMemoryError");
    if (Lookup::Check(this, h->outOfMemoryClass) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    h->outOfMemoryToString = GetMethodID(h->outOfMemoryClass, "toString", kStringGetter);
    if (Lookup::Check(this, h->outOfMemoryToString) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    h->userCert = static_cast<UserCertExceptionHandle*>(calloc(1, sizeof(UserCertExceptionHandle)));
    if (h->userCert == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        return KEVO_RC_NO_MEMORY;
    }
    h->userCert->cls = FindClass(kUserCertExceptionClass);
    if (Lookup::Check(this, h->userCert->cls) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    h->userCert->getErrorCode = GetMethodID(h->userCert->cls, "getErrorCode", "()I");
    if (Lookup::Check(this, h->userCert->getErrorCode) != KEVO_RC_OK)
        return KEVO_RC_UNEXPECTED;
    return KEVO_RC_OK;
}

void KEVO_JVMHandler::DestoryExceptionHandle()
{
    const char* op = "DestoryExceptionHandle()";
    TraceEnter(op);
    if (m_pExceptionHandle != NULL) {
        free(m_pExceptionHandle->userCert);
        free(m_pExceptionHandle);
        m_pExceptionHandle = NULL;
    }
    TraceExit(op, 0);
}

void KEVO_JVMHandler::DestroyUserCertServiceHandle()
{
    const char* op = "DestroyUserCertServiceHandle()";
    TraceEnter(op);
    // The references in the handles are locals of the call's frame, gone
    // with it; only the records are ours to free.
    free(m_pBasicDataHandle);
    free(m_pCertStatusHandle);
    free(m_pConfirmHandle);
    m_pBasicDataHandle = NULL;
    m_pCertStatusHandle = NULL;
    m_pConfirmHandle = NULL;
    TraceExit(op, 0);
}

// ---- exceptions -------------------------------------------------------------------

jthrowable KEVO_JVMHandler::KEVO_JVM_ExceptionOccurred(JNIEnv* env)
{
    // The result is a reference, not a code: the exit line reports 0.
    const char* op = "KEVO_JVM_ExceptionOccurred()";
    TraceEnter(op);
    if (env == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "BadEnv:JNIEnv is NULL\n");
        TraceExit(op, 0);
        return NULL;
    }
    TraceCall("ExceptionOccurred");
    jthrowable exception = env->ExceptionOccurred();
    TraceEnd("ExceptionOccurred");
    if (exception != NULL) {
        TraceCall("ExceptionClear");
        env->ExceptionClear();
        TraceEnd("ExceptionClear");
    }
    TraceExit(op, 0);
    return exception;
}

int32_t KEVO_JVMHandler::KEVO_JVM_getExceptionCode(jthrowable exception)
{
    const char* op = "KEVO_JVM_getExceptionCode()";
    TraceEnter(op);
    int32_t code = KEVO_RC_UNEXPECTED;
    jmethodID toString = NULL;
    if (exception == NULL || m_pExceptionHandle == NULL || m_pEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Unexpected Errors\n");
    } else if (m_pExceptionHandle->userCert != NULL &&
               IsInstanceOf(exception, m_pExceptionHandle->userCert->cls) == JNI_TRUE) {
        code = CallIntMethod(exception, m_pExceptionHandle->userCert->getErrorCode);
        // getErrorCode itself failing leaves no code to report.
        jthrowable inner = KEVO_JVM_ExceptionOccurred(m_pEnv);
        if (inner != NULL) {
            DeleteLocalRef(inner);
            TraceLog(TRACE_LEVEL_ERROR, "Unexpected Errors\n");
            code = KEVO_RC_UNEXPECTED;
        }
    } else if (IsInstanceOf(exception, m_pExceptionHandle->outOfMemoryClass) == JNI_TRUE) {
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        code = KEVO_RC_NO_MEMORY;
        toString = m_pExceptionHandle->outOfMemoryToString;
    } else if (IsInstanceOf(exception, m_pExceptionHandle->exceptionClass) == JNI_TRUE) {
        TraceLog(TRACE_LEVEL_ERROR, "Unexpected Errors\n");
        toString = m_pExceptionHandle->exceptionToString;
    } else {
        TraceLog(TRACE_LEVEL_ERROR, "Unexpected Errors\n");
    }
    if (code == KEVO_RC_OK)
        return TraceExit(op, code);

    TraceLog(TRACE_LEVEL_ERROR, "Exception Occurred\n");
    if (toString != NULL) {
        jstring text = static_cast<jstring>(CallObjectMethod(exception, toString));
        jthrowable inner = KEVO_JVM_ExceptionOccurred(m_pEnv);
        if (inner != NULL)
            DeleteLocalRef(inner);
        size_t size = 0;
        if (text != NULL && KEVO_JVM_GetStringChars(text, NULL, &size) == KEVO_RC_OK) {
            char* buffer = static_cast<char*>(malloc(size));
            if (buffer != NULL && KEVO_JVM_GetStringChars(text, buffer, &size) == KEVO_RC_OK)
                TraceLog(TRACE_LEVEL_ERROR, "%s\n", buffer);
            free(buffer);
        }
        if (text != NULL)
            DeleteLocalRef(text);
    }
    TraceLog(TRACE_LEVEL_ERROR, "ErrorCode = %d\n", code);
    return TraceExit(op, code);
}

// ---- service instances ------------------------------------------------------------

KEVO_JVMHandler::ServiceCommon* KEVO_JVMHandler::InstanceCommon(int kind)
{
    switch (kind) {
    case KIND_BASIC_DATA:
        m_pBasicDataHandle = static_cast<BasicDataHandle*>(calloc(1, sizeof(BasicDataHandle)));
        return m_pBasicDataHandle != NULL ? &m_pBasicDataHandle->common : NULL;
    case KIND_CERT_STATUS:
        m_pCertStatusHandle = static_cast<CertStatusHandle*>(calloc(1, sizeof(CertStatusHandle)));
        return m_pCertStatusHandle != NULL ? &m_pCertStatusHandle->common : NULL;
    default:
        m_pConfirmHandle = static_cast<ConfirmHandle*>(calloc(1, sizeof(ConfirmHandle)));
        return m_pConfirmHandle != NULL ? &m_pConfirmHandle->common : NULL;
    }
}

int32_t KEVO_JVMHandler::KEVO_JVM_CreateInstance(int kind, const KEVOBinaryData* certificate)
{
    const char* op = "KEVO_JVM_CreateInstance()";
    TraceEnter(op);
    bool kindKnown = kind == KIND_BASIC_DATA || kind == KIND_CERT_STATUS || kind == KIND_CONFIRM;
    if (m_pEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Bad Env:JNIEnv is NULL\n");
        return TraceExit(op, KEVO_RC_BAD_ENV);
    }
    if (!CertificateUsable(certificate) || !kindKnown || certificate->length > 0x7fffffffu) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }

    int32_t rc = KEVO_RC_OK;
    const jsize length = static_cast<jsize>(certificate->length);
    TraceCall("NewByteArray");
    jbyteArray bytes = m_pEnv->NewByteArray(length);
    TraceEnd("NewByteArray");
    if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(bytes, "NewByteArray")) != KEVO_RC_OK)
        goto failed;
    TraceCall("SetByteArrayRegion");
    m_pEnv->SetByteArrayRegion(bytes, 0, length, reinterpret_cast<const jbyte*>(certificate->data));
    TraceEnd("SetByteArrayRegion");
    if ((rc = CheckException()) != KEVO_RC_OK)
        goto failed;

    {
        ServiceCommon* common = InstanceCommon(kind);
        if (common == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
            rc = KEVO_RC_NO_MEMORY;
            goto failed;
        }
        const char* methodName;
        const char* methodSignature;
        const char* resultClass;
        if (kind == KIND_BASIC_DATA) {
            methodName = "getBasicData";
            methodSignature = "()Lkevo/appli/KEVOUserCertBasicData;";
            resultClass = "kevo/appli/KEVOUserCertBasicData";
        } else if (kind == KIND_CERT_STATUS) {
            methodName = "verifyCert";
            methodSignature = "()Lkevo/appli/KEVOUserCertCertStatus;";
            resultClass = "kevo/appli/KEVOUserCertCertStatus";
        } else {
            methodName = "confirm";
            methodSignature = "()Lkevo/appli/KEVOConfirmResult;";
            resultClass = "kevo/appli/KEVOConfirmResult";
        }

        common->constructor = GetMethodID(m_clsUserCertService, "<init>", "([B)V");
        if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(common->constructor, "GetMethodID")) != KEVO_RC_OK)
            goto failed;
        common->serviceMethod = GetMethodID(m_clsUserCertService, methodName, methodSignature);
        if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(common->serviceMethod, "GetMethodID")) != KEVO_RC_OK)
            goto failed;
        TraceCall("NewObject");
        common->service = m_pEnv->NewObject(m_clsUserCertService, common->constructor, bytes);
        TraceEnd("NewObject");
        if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(common->service, "NewObject")) != KEVO_RC_OK)
            goto failed;
        common->resultClass = FindClass(resultClass);
        if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(common->resultClass, "FindClass")) != KEVO_RC_OK)
            goto failed;

        // The result class's methods, in the order of each handle's record.
        struct MethodSpec {
            jmethodID* slot;
            const char* name;
            const char* signature;
        };
        MethodSpec specs[6];
        int count = 0;
        if (kind == KIND_BASIC_DATA) {
            BasicDataHandle* h = m_pBasicDataHandle;
            MethodSpec s[6] = {{&h->getAddress, "getAddress", kStringGetter},
                               {&h->getDateOfBirth, "getDateOfBirth", kStringGetter},
                               {&h->getGender, "getGender", kStringGetter},
                               {&h->getName, "getName", kStringGetter},
                               {&h->getSubstituteCharacterOfAddress, "getSubstituteCharacterOfAddress", kStringGetter},
                               {&h->getSubstituteCharacterOfName, "getSubstituteCharacterOfName", kStringGetter}};
            memcpy(specs, s, sizeof s);
            count = 6;
        } else if (kind == KIND_CERT_STATUS) {
            CertStatusHandle* h = m_pCertStatusHandle;
            MethodSpec s[3] = {{&h->getCertPathStatus, "getCertPathStatus", "()I"},
                               {&h->getCertStatus, "getCertStatus", "()I"},
                               {&h->getResponseStatus, "getResponseStatus", "()I"}};
            memcpy(specs, s, sizeof s);
            count = 3;
        } else {
            ConfirmHandle* h = m_pConfirmHandle;
            MethodSpec s[3] = {{&h->getCode, "getCode", "()I"},
                               {&h->getException, "getException", "()Ljava/lang/Exception;"},
                               {&h->getMessage, "getMessage", kStringGetter}};
            memcpy(specs, s, sizeof s);
            count = 3;
        }
        for (int i = 0; i < count; ++i) {
            *specs[i].slot = GetMethodID(common->resultClass, specs[i].name, specs[i].signature);
            if ((rc = CheckException()) != KEVO_RC_OK || (rc = CheckNull(*specs[i].slot, "GetMethodID")) != KEVO_RC_OK)
                goto failed;
        }
    }
    return TraceExit(op, KEVO_RC_OK);

failed:
    DestroyUserCertServiceHandle();
    return TraceExit(op, rc);
}

// ---- the three service calls ---------------------------------------------------------

template <typename Unit>
int32_t KEVO_JVMHandler::FetchField(jmethodID getter, jobject target, Unit** field,
                                    int32_t (KEVO_JVMHandler::*copyText)(jstring, Unit*, size_t*))
{
    jstring text = static_cast<jstring>(CallObjectMethod(target, getter));
    // An exception with code 0 leaves text null: the conversion then fails
    // as for a null string, so no field stays silently empty.
    int32_t rc = CheckException();
    size_t size = 0;
    if (rc == KEVO_RC_OK)
        rc = (this->*copyText)(text, NULL, &size);
    if (rc == KEVO_RC_OK) {
        Unit* buffer = static_cast<Unit*>(malloc(size));
        if (buffer == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
            rc = KEVO_RC_NO_MEMORY;
        } else if ((rc = (this->*copyText)(text, buffer, &size)) != KEVO_RC_OK) {
            free(buffer);
        } else {
            *field = buffer;
        }
    }
    if (text != NULL)
        DeleteLocalRef(text);
    return rc;
}

int32_t KEVO_JVMHandler::FetchNarrowField(jmethodID getter, jobject target, char** field)
{
    return FetchField(getter, target, field, &KEVO_JVMHandler::KEVO_JVM_GetStringChars);
}

int32_t KEVO_JVMHandler::FetchWideField(jmethodID getter, jobject target, uint16_t** field)
{
    return FetchField(getter, target, field, &KEVO_JVMHandler::KEVO_JVM_GetStringWideChars);
}

int32_t KEVO_JVMHandler::KEVO_JVM_getBasicData(const KEVOBinaryData* certificate, KEVOBasicData* record)
{
    const char* op = "KEVO_JVM_getBasicData()";
    TraceEnter(op);
    if (m_pJavaVM == NULL || m_pEnv == NULL || m_clsUserCertService == NULL)
        return TraceExit(op, KEVO_RC_BAD_ENV);
    if (record == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    int32_t rc = KEVO_JVM_CreateInstance(KIND_BASIC_DATA, certificate);
    if (rc != KEVO_RC_OK)
        return TraceExit(op, rc);
    BasicDataHandle* h = m_pBasicDataHandle;

    jobject result = CallObjectMethod(h->common.service, h->common.serviceMethod);
    rc = CheckException();
    if (rc == KEVO_RC_OK)
        rc = CheckResultObject(result, h->common.resultClass);
    if (rc != KEVO_RC_OK)
        return TraceExit(op, rc);

    memset(record, 0, sizeof *record);
    if ((rc = FetchWideField(h->getName, result, &record->name)) == KEVO_RC_OK &&
        (rc = FetchWideField(h->getAddress, result, &record->address)) == KEVO_RC_OK &&
        (rc = FetchNarrowField(h->getGender, result, &record->gender)) == KEVO_RC_OK &&
        (rc = FetchNarrowField(h->getDateOfBirth, result, &record->dateOfBirth)) == KEVO_RC_OK &&
        (rc = FetchNarrowField(h->getSubstituteCharacterOfName, result, &record->substituteCharacterOfName)) ==
            KEVO_RC_OK &&
        (rc = FetchNarrowField(h->getSubstituteCharacterOfAddress, result,
                               &record->substituteCharacterOfAddress)) == KEVO_RC_OK) {
        return TraceExit(op, KEVO_RC_OK);
    }
    CS_KEVO_JVM_FreeBasicData(record);
    return TraceExit(op, rc);
}

int32_t KEVO_JVMHandler::KEVO_JVM_verifyCert(const KEVOBinaryData* certificate, int32_t* certPathStatus,
                                             int32_t* responseStatus)
{
    const char* op = "KEVO_JVM_verifyCert()";
    TraceEnter(op);
    if (m_pJavaVM == NULL || m_pEnv == NULL || m_clsUserCertService == NULL)
        return TraceExit(op, KEVO_RC_BAD_ENV);
    if (certPathStatus == NULL || responseStatus == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    *certPathStatus = 0;
    *responseStatus = 0;
    int32_t rc = KEVO_JVM_CreateInstance(KIND_CERT_STATUS, certificate);
    if (rc != KEVO_RC_OK)
        return TraceExit(op, rc);
    CertStatusHandle* h = m_pCertStatusHandle;

    jobject result = CallObjectMethod(h->common.service, h->common.serviceMethod);
    jthrowable exception = KEVO_JVM_ExceptionOccurred(m_pEnv);
    if (exception != NULL) {
        // An exception from verifyCert ends the call, with its code or 0.
        rc = KEVO_JVM_getExceptionCode(exception);
        return TraceExit(op, rc);
    }
    if ((rc = CheckResultObject(result, h->common.resultClass)) != KEVO_RC_OK)
        return TraceExit(op, rc);

    bool certStatusThrew = false;
    jint certStatus = CallIntMethod(result, h->getCertStatus);
    if ((rc = CheckException(&certStatusThrew)) != KEVO_RC_OK)
        return TraceExit(op, rc);
    // A status whose getter threw with code 0 counts as 0; without a
    // certificate status there is no path status to ask for.
    if (certStatusThrew)
        certStatus = 0;
    jint pathStatus = 0;
    if (!certStatusThrew) {
        bool threw = false;
        pathStatus = CallIntMethod(result, h->getCertPathStatus);
        if ((rc = CheckException(&threw)) != KEVO_RC_OK)
            return TraceExit(op, rc);
        if (threw)
            pathStatus = 0;
    }
    bool responseThrew = false;
    jint response = CallIntMethod(result, h->getResponseStatus);
    if ((rc = CheckException(&responseThrew)) != KEVO_RC_OK)
        return TraceExit(op, rc);
    if (responseThrew)
        response = 0;
    *certPathStatus = pathStatus;
    *responseStatus = response;
    return TraceExit(op, certStatus);
}

int32_t KEVO_JVMHandler::KEVO_JVM_confirm(const KEVOBinaryData* certificate)
{
    const char* op = "KEVO_JVM_confirm()";
    TraceEnter(op);
    if (m_pJavaVM == NULL || m_pEnv == NULL || m_clsUserCertService == NULL)
        return TraceExit(op, KEVO_RC_BAD_ENV);
    int32_t rc = KEVO_JVM_CreateInstance(KIND_CONFIRM, certificate);
    if (rc != KEVO_RC_OK)
        return TraceExit(op, rc);
    ConfirmHandle* h = m_pConfirmHandle;

    jobject result = CallObjectMethod(h->common.service, h->common.serviceMethod);
    jthrowable exception = KEVO_JVM_ExceptionOccurred(m_pEnv);
    if (exception != NULL)
        return TraceExit(op, KEVO_JVM_getExceptionCode(exception));
    if ((rc = CheckResultObject(result, h->common.resultClass)) != KEVO_RC_OK)
        return TraceExit(op, rc);

    jint code = CallIntMethod(result, h->getCode);
    exception = KEVO_JVM_ExceptionOccurred(m_pEnv);
    if (exception != NULL)
        return TraceExit(op, KEVO_JVM_getExceptionCode(exception));
    TraceLog(TRACE_LEVEL_ERROR, "KEVOConfirmResult Code = %d\n", static_cast<int>(code));
    return TraceExit(op, code);
}

// ---- records and strings ----------------------------------------------------------

int32_t KEVO_JVMHandler::CS_KEVO_JVM_FreeBasicData(KEVOBasicData* record)
{
    const char* op = "CS_KEVO_JVM_FreeBasicData()";
    TraceEnter(op);
    if (record == NULL)
        return TraceExit(op, -101);
    free(record->name);
    record->name = NULL;
    free(record->address);
    record->address = NULL;
    free(record->gender);
    record->gender = NULL;
    free(record->dateOfBirth);
    record->dateOfBirth = NULL;
    free(record->substituteCharacterOfName);
    record->substituteCharacterOfName = NULL;
    free(record->substituteCharacterOfAddress);
    record->substituteCharacterOfAddress = NULL;
    return TraceExit(op, 0);
}

void KEVO_JVMHandler::ClearException()
{
    TraceCall("ExceptionClear");
    m_pEnv->ExceptionClear();
    TraceEnd("ExceptionClear");
}

int32_t KEVO_JVMHandler::KEVO_JVM_GetStringChars(jstring text, char* buffer, size_t* size)
{
    const char* op = "KEVO_JVM_GetStringChars()";
    TraceEnter(op);
    if (text == NULL || size == NULL || m_pEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    TraceCall("GetStringUTFLength");
    jsize utfLength = m_pEnv->GetStringUTFLength(text);
    TraceEnd("GetStringUTFLength");
    size_t needed = static_cast<size_t>(utfLength) + 1;
    if (buffer == NULL) {
        *size = needed;
        return TraceExit(op, KEVO_RC_OK);
    }
    if (*size == 0) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    memset(buffer, 0, *size);
    TraceCall("GetStringUTFChars");
    const char* chars = m_pEnv->GetStringUTFChars(text, NULL);
    TraceEnd("GetStringUTFChars");
    if (chars == NULL) {
        // The VM could not hand the characters out (it raised an
        // OutOfMemoryError): fail rather than return a field cut short.
        ClearException();
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        return TraceExit(op, KEVO_RC_NO_MEMORY);
    }
    // The VM's copy ends in its own zero byte; a smaller buffer is cut
    // and still terminated.
    size_t copy = needed < *size ? needed : *size;
    memcpy(buffer, chars, copy);
    buffer[copy - 1] = '\0';
    TraceCall("ReleaseStringUTFChars");
    m_pEnv->ReleaseStringUTFChars(text, chars);
    TraceEnd("ReleaseStringUTFChars");
    return TraceExit(op, KEVO_RC_OK);
}

int32_t KEVO_JVMHandler::KEVO_JVM_GetStringWideChars(jstring text, uint16_t* buffer, size_t* size)
{
    const char* op = "KEVO_JVM_GetStringWideChars()";
    TraceEnter(op);
    if (text == NULL || size == NULL || m_pEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    TraceCall("GetStringLength");
    jsize length = m_pEnv->GetStringLength(text);
    TraceEnd("GetStringLength");
    size_t needed = static_cast<size_t>(length) * 2 + 2;
    if (buffer == NULL) {
        *size = needed;
        return TraceExit(op, KEVO_RC_OK);
    }
    if (*size < 2) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return TraceExit(op, KEVO_RC_INVALID_PARAM);
    }
    memset(buffer, 0, *size);
    TraceCall("GetStringChars");
    const jchar* chars = m_pEnv->GetStringChars(text, NULL);
    TraceEnd("GetStringChars");
    if (chars == NULL) {
        ClearException();
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        return TraceExit(op, KEVO_RC_NO_MEMORY);
    }
    // Room for the units and the zero unit, never beyond the buffer.
    size_t units = static_cast<size_t>(length);
    size_t capacity = *size / 2 - 1;
    if (units > capacity)
        units = capacity;
    memcpy(buffer, chars, units * 2);
    buffer[units] = 0;
    TraceCall("ReleaseStringChars");
    m_pEnv->ReleaseStringChars(text, chars);
    TraceEnd("ReleaseStringChars");
    return TraceExit(op, KEVO_RC_OK);
}
