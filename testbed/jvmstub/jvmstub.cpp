// Stand-in of the Java VM library for tests of the Windows service library:
// the two entry points, undecorated, with no VM behind them. Creation is
// always refused; when KEVO_JVMSTUB_RECORD names a file, each creation
// request's arguments are appended to it, one line per request:
//   version=<hex> ignore=<0|1> options=<n>[ <option bytes>...]
#include <windows.h>
#include <stdio.h>

#include <jni.h>

namespace {
void Record(const JavaVMInitArgs* args)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"KEVO_JVMSTUB_RECORD", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    FILE* f = _wfopen(path, L"ab");
    if (f == NULL)
        return;
    if (args == NULL) {
        fputs("args=null\n", f);
    } else {
        fprintf(f, "version=%lx ignore=%d options=%ld", (unsigned long)args->version, (int)args->ignoreUnrecognized,
                (long)args->nOptions);
        for (jint i = 0; i < args->nOptions && args->options != NULL; ++i)
            fprintf(f, " %s", args->options[i].optionString != NULL ? args->options[i].optionString : "(null)");
        fputs("\n", f);
    }
    fclose(f);
}
}  // namespace

extern "C" __declspec(dllexport) jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize, jsize* count)
{
    if (vms != NULL)
        vms[0] = NULL;
    if (count != NULL)
        *count = 0;
    return JNI_OK;
}

extern "C" __declspec(dllexport) jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args)
{
    Record(static_cast<const JavaVMInitArgs*>(args));
    if (vm != NULL)
        *vm = NULL;
    if (env != NULL)
        *env = NULL;
    return JNI_ERR;
}
