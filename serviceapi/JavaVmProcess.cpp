#include "JavaVmProcess.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "JavaVmOptions.h"
#include "ServiceApiCodes.h"
#include "TraceLog.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

int g_failAllocationAt = 0;

// Once a VM runs, its threads execute code of the VM library and call back
// into this library; a host that unloaded either would unmap that code.
void PinModules()
{
    static bool pinned = false;
    if (pinned)
        return;
    pinned = true;
#if defined(_WIN32)
    HMODULE module = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&JNI_CreateJavaVM), &module);
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&PinModules), &module);
#else
    const void* addresses[2] = {reinterpret_cast<const void*>(&JNI_CreateJavaVM),
                                reinterpret_cast<const void*>(&PinModules)};
    for (int i = 0; i < 2; ++i) {
        Dl_info info;
        if (dladdr(addresses[i], &info) != 0 && info.dli_fname != NULL)
            dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
#endif
}

int CreateVm(JavaVM** vm, JNIEnv** env)
{
    if (g_failAllocationAt > 0 && --g_failAllocationAt == 0)
        throw std::bad_alloc();
    JavaVmOptions options;   // its strings live until this function returns

    JavaVMInitArgs args;
    memset(&args, 0, sizeof args);
    args.version = JNI_VERSION_1_4;
    args.nOptions = options.Count();
    args.options = options.Table();
    args.ignoreUnrecognized = JNI_TRUE;

    JavaVM* created = NULL;
    void* createdEnv = NULL;
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", "JNI_CreateJavaVM");
    jint rc = JNI_CreateJavaVM(&created, &createdEnv, &args);
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", "JNI_CreateJavaVM");
    if (rc != JNI_OK || created == NULL || createdEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Error %s returns %d\n", "JNI_CreateJavaVM", KEVO_RC_JNI_FAILED);
        return KEVO_RC_JNI_FAILED;
    }
    *vm = created;
    *env = static_cast<JNIEnv*>(createdEnv);
    return KEVO_RC_OK;
}

}  // namespace

int KevoAcquireJavaVM(JavaVM** vm, JNIEnv** env, bool* attached)
{
    JavaVM* existing = NULL;
    jsize count = 0;
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", "JNI_GetCreatedJavaVMs");
    jint rc = JNI_GetCreatedJavaVMs(&existing, 1, &count);
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", "JNI_GetCreatedJavaVMs");

    if (rc != JNI_OK || count < 1 || existing == NULL) {
        // The creating thread comes out attached; the call detaches it again.
        int created = CreateVm(vm, env);
        if (created != KEVO_RC_OK)
            return created;
        PinModules();
        *attached = true;
        return KEVO_RC_OK;
    }

    PinModules();
    void* threadEnv = NULL;
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", "GetEnv");
    rc = existing->GetEnv(&threadEnv, JNI_VERSION_1_4);
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", "GetEnv");
    if (rc == JNI_OK && threadEnv != NULL) {
        *vm = existing;
        *env = static_cast<JNIEnv*>(threadEnv);
        *attached = false;
        return KEVO_RC_OK;
    }
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", "AttachCurrentThread");
    rc = existing->AttachCurrentThread(&threadEnv, NULL);
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", "AttachCurrentThread");
    if (rc != JNI_OK || threadEnv == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Error %s returns %d\n", "AttachCurrentThread", KEVO_RC_JNI_FAILED);
        return KEVO_RC_JNI_FAILED;
    }
    *vm = existing;
    *env = static_cast<JNIEnv*>(threadEnv);
    *attached = true;
    return KEVO_RC_OK;
}

void KevoTestingFailAllocation(int nth)
{
    g_failAllocationAt = nth;
}

void KevoReleaseJavaVM(JavaVM* vm, bool attached)
{
    if (vm == NULL || !attached)
        return;
    TraceLog(TRACE_LEVEL_ERROR, "Call %s\n", "DetachCurrentThread");
    vm->DetachCurrentThread();
    TraceLog(TRACE_LEVEL_ERROR, "End %s\n", "DetachCurrentThread");
}
