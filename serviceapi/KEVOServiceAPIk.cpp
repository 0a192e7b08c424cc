// The five exports: argument checks, the guard that admits one VM-based
// call per process at a time, and the per-export result tables.
#include "KEVOServiceAPI.h"

#include <atomic>
#include <new>

#include "JavaVmProcess.h"
#include "KEVO_JVMHandler.h"
#include "ServiceApiCodes.h"
#include "TraceLog.h"

#if defined(_WIN32)
#include "KEVO_UserCertServiceHandler.h"
#endif

namespace {

// The handler of the VM-based call in progress, or null.
std::atomic<KEVO_JVMHandler*> ServiceBusySlot(nullptr);

bool CertificateUsable(const KEVOBinaryData* certificate)
{
    return certificate != NULL && certificate->data != NULL && certificate->length != 0;
}

// Claims the slot for a new handler. *busy tells a taken slot from a
// failed allocation; null on either.
KEVO_JVMHandler* ClaimSlot(bool* busy)
{
    *busy = ServiceBusySlot.load() != nullptr;
    if (*busy)
        return nullptr;
    KEVO_JVMHandler* handler = new (std::nothrow) KEVO_JVMHandler();
    if (handler == nullptr)
        return nullptr;
    KEVO_JVMHandler* expected = nullptr;
    if (!ServiceBusySlot.compare_exchange_strong(expected, handler)) {
        delete handler;
        *busy = true;
        return nullptr;
    }
    return handler;
}

// The slot held for one VM-based call. However the call ends (a C++
// exception that the export's wrapper catches included), the handler's use
// of the VM is undone, the handler destroyed and the slot emptied: a slot
// left taken would answer every later call of the process as busy.
class SlotClaim {
public:
    SlotClaim() : busy_(false), handler_(ClaimSlot(&busy_)) {}
    ~SlotClaim()
    {
        if (handler_ == nullptr)
            return;
        handler_->KEVO_JVM_UninitLibrary();
        delete handler_;
        KEVO_JVMHandler* expected = handler_;
        ServiceBusySlot.compare_exchange_strong(expected, nullptr);
    }
    KEVO_JVMHandler* handler() const { return handler_; }
    // The busy or out-of-memory code of a failed claim, after its line.
    int32_t Refusal(int32_t busyCode, int32_t noMemoryCode) const
    {
        TraceLog(TRACE_LEVEL_ERROR, busy_ ? "Invalid Param\n" : "Out Of Memory\n");
        return busy_ ? busyCode : noMemoryCode;
    }

private:
    SlotClaim(const SlotClaim&);
    SlotClaim& operator=(const SlotClaim&);

    bool busy_;
    KEVO_JVMHandler* handler_;
};

int32_t GetBasicData(KEVOBinaryData* certificate, KEVOBasicData* basicData)
{
    if (!CertificateUsable(certificate) || basicData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return -101;
    }
    SlotClaim claim;
    KEVO_JVMHandler* handler = claim.handler();
    if (handler == nullptr)
        return claim.Refusal(-104, -102);
    basicData->name = NULL;
    basicData->address = NULL;
    basicData->gender = NULL;
    basicData->dateOfBirth = NULL;
    basicData->substituteCharacterOfName = NULL;
    basicData->substituteCharacterOfAddress = NULL;
    int32_t rc = handler->KEVO_JVM_InitLibrary();
    if (rc == 0)
        rc = handler->KEVO_JVM_getBasicData(certificate, basicData);
    int32_t mapped = KEVO_JVM_MappingReturnCodeGetBasicData(rc);
    if (mapped != 0)
        KEVO_JVMHandler::CS_KEVO_JVM_FreeBasicData(basicData);
    return mapped;
}

int32_t CertValid(KEVOBinaryData* certificate, int32_t* certPathStatus, int32_t* responseStatus)
{
    if (!CertificateUsable(certificate) || certPathStatus == NULL || responseStatus == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return -3;
    }
    SlotClaim claim;
    KEVO_JVMHandler* handler = claim.handler();
    if (handler == nullptr)
        return claim.Refusal(-4, -2);
    int32_t rc = handler->KEVO_JVM_InitLibrary();
    if (rc == 0)
        rc = handler->KEVO_JVM_verifyCert(certificate, certPathStatus, responseStatus);
    return KEVO_JVM_MappingReturnCodeCertValid(rc);
}

int32_t Confirm(KEVOBinaryData* certificate)
{
    if (!CertificateUsable(certificate)) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return -101;
    }
    SlotClaim claim;
    KEVO_JVMHandler* handler = claim.handler();
    if (handler == nullptr)
        return claim.Refusal(-104, -102);
    int32_t rc = handler->KEVO_JVM_InitLibrary();
    if (rc == 0)
        rc = handler->KEVO_JVM_confirm(certificate);
    return KEVO_JVM_MappingReturnCodeConfirm(rc);
}

int32_t CertViewDialog(KEVOBinaryData* certificate)
{
    if (!CertificateUsable(certificate)) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return -101;
    }
#if defined(_WIN32)
    KEVO_UserCertServiceHandler* handler = new (std::nothrow) KEVO_UserCertServiceHandler();
    if (handler == nullptr) {
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        return -102;
    }
    int32_t rc = handler->KEVO_UCS_showCertViewer(certificate);
    int32_t mapped = handler->KEVO_UCS_MappingReturnCodeCertViewDialog(rc);
    delete handler;
    return mapped;
#else
    // The viewer is a Windows program; elsewhere there is nothing to start.
    TraceLog(TRACE_LEVEL_ERROR, "SystemCallError\n");
    return KEVO_UCS_MapCode(KEVO_RC_UNEXPECTED);
#endif
}

// Runs an export's body between its entry and exit lines. No C++ exception
// may cross the C boundary: one that escapes the body is reported as the
// export's general failure.
template <typename Body>
int32_t RunExport(const char* name, int32_t generalFailure, Body body)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s()_Enter\n", name);
    int32_t rc;
    try {
        rc = body();
    } catch (...) {
        rc = generalFailure;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s()_Exit_returns %d\n", name, rc);
    return rc;
}

}  // namespace

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOGetBasicData(KEVOBinaryData* certificate,
                                                               KEVOBasicData* basicData)
{
    return RunExport("KEVOGetBasicData", -104, [&] { return GetBasicData(certificate, basicData); });
}

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOFreeBasicData(KEVOBasicData* basicData)
{
    TraceLog(TRACE_LEVEL_FLOW, "KEVOFreeBasicData()_Enter\n");
    int32_t rc = 0;
    if (basicData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        rc = -101;
    } else {
        rc = KEVO_JVMHandler::CS_KEVO_JVM_FreeBasicData(basicData);
    }
    TraceLog(TRACE_LEVEL_FLOW, "KEVOFreeBasicData()_Exit_returns %d\n", rc);
    return rc;
}

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOCertValid(KEVOBinaryData* certificate, int32_t* certPathStatus,
                                                            int32_t* responseStatus)
{
    return RunExport("KEVOCertValid", -4, [&] { return CertValid(certificate, certPathStatus, responseStatus); });
}

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOConfirm(KEVOBinaryData* certificate)
{
    return RunExport("KEVOConfirm", -104, [&] { return Confirm(certificate); });
}

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOCertViewDialog(KEVOBinaryData* certificate)
{
    return RunExport("KEVOCertViewDialog", -104, [&] { return CertViewDialog(certificate); });
}

#if defined(KEVO_SERVICEAPI_TESTING)
// The testing build's hook (see JavaVmProcess.h); never in a shipped library.
extern "C" KEVOAPI_EXPORT void KEVOAPI_CALL KEVOTesting_FailAllocation(int nth)
{
    KevoTestingFailAllocation(nth);
}
#endif
