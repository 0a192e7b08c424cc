/* KEVO service API sample: loads KEVOServiceAPIk.dll by its full path, calls
   the exports with a certificate read from a file and prints what they
   return. Builds as C with MSVC and mingw-w64, 32- and 64-bit (README.ja.md).

   Usage: kevo_sample [--dll <library path>] [--jvm-dir <folder of jvm.dll>]
                      [--view] <certificate file (DER)>

   Without --dll the library is taken from the install folder that the
   registry value HKLM\SOFTWARE\KEVO InstallPath names (in this program's own
   registry view). --jvm-dir puts the Java VM's folder on the DLL search path
   while the library loads: the library imports jvm.dll, and loading fails
   when the system's search does not find it. --view also opens the
   certificate viewer.

   Output, UTF-8: one line per call with its result code, the basic data's
   six fields in between. Exit code 0 when every export was reached (their
   result codes are printed, not judged), 1 for bad arguments or an
   unreadable certificate, 2 when the library does not load, 3 when an
   export is missing. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "KEVOServiceAPI.h"

static void PrintUtf16(const char* label, const uint16_t* text)
{
    int units = 0;
    char* utf8;
    int bytes;
    if (text == NULL) {
        printf("%s: (null)\n", label);
        return;
    }
    while (text[units] != 0)
        ++units;
    /* uint16_t and wchar_t are both 16-bit UTF-16 code units on Windows. */
    bytes = WideCharToMultiByte(CP_UTF8, 0, (const wchar_t*)text, units, NULL, 0, NULL, NULL);
    utf8 = (char*)malloc((size_t)bytes + 1);
    if (utf8 == NULL)
        return;
    WideCharToMultiByte(CP_UTF8, 0, (const wchar_t*)text, units, utf8, bytes, NULL, NULL);
    utf8[bytes] = 0;
    printf("%s: %s\n", label, utf8);
    free(utf8);
}

/* The four narrow fields are modified UTF-8 as the service gives them. */
static void PrintNarrow(const char* label, const char* text)
{
    printf("%s: %s\n", label, text != NULL ? text : "(null)");
}

static unsigned char* ReadCertificate(const wchar_t* path, uint32_t* length)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    DWORD size, got = 0;
    unsigned char* data;
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    size = GetFileSize(file, NULL);
    data = (size == INVALID_FILE_SIZE || size == 0) ? NULL : (unsigned char*)malloc(size);
    if (data != NULL && (!ReadFile(file, data, size, &got, NULL) || got != size)) {
        free(data);
        data = NULL;
    }
    CloseHandle(file);
    *length = (uint32_t)size;
    return data;
}

/* The install folder's library, as an installed host finds it. */
static int InstalledLibrary(wchar_t* path, DWORD capacity)
{
    static const wchar_t kName[] = L"\\KEVOServiceAPIk.dll";
    DWORD size = capacity * sizeof(wchar_t);
    DWORD type = 0;
    size_t length;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", L"InstallPath", RRF_RT_REG_SZ, &type, path, &size) !=
        ERROR_SUCCESS)
        return 0;
    length = wcslen(path);
    if (length > 0 && path[length - 1] == L'\\')
        path[--length] = 0;
    if (length + sizeof(kName) / sizeof(wchar_t) > capacity)
        return 0;
    memcpy(path + length, kName, sizeof(kName));
    return 1;
}

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* dll = NULL;
    const wchar_t* jvmDir = NULL;
    const wchar_t* certFile = NULL;
    wchar_t installed[MAX_PATH * 2];
    int view = 0, i;
    HMODULE library;
    PFN_KEVOGetBasicData getBasicData;
    PFN_KEVOFreeBasicData freeBasicData;
    PFN_KEVOCertValid certValid;
    PFN_KEVOConfirm confirm;
    PFN_KEVOCertViewDialog certViewDialog;
    KEVOBinaryData certificate;
    KEVOBasicData basic;
    int32_t code, pathStatus = 0, responseStatus = 0;

    for (i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--dll") == 0 && i + 1 < argc)
            dll = argv[++i];
        else if (wcscmp(argv[i], L"--jvm-dir") == 0 && i + 1 < argc)
            jvmDir = argv[++i];
        else if (wcscmp(argv[i], L"--view") == 0)
            view = 1;
        else if (argv[i][0] != L'-' && certFile == NULL)
            certFile = argv[i];
        else
            certFile = NULL, i = argc + 1;
    }
    if (certFile == NULL || i > argc) {
        fprintf(stderr, "usage: kevo_sample [--dll <library path>] [--jvm-dir <folder of jvm.dll>] [--view] "
                        "<certificate file>\n");
        return 1;
    }
    certificate.data = ReadCertificate(certFile, &certificate.length);
    if (certificate.data == NULL) {
        fprintf(stderr, "kevo_sample: cannot read the certificate file (error %lu)\n", GetLastError());
        return 1;
    }
    if (dll == NULL) {
        if (!InstalledLibrary(installed, sizeof(installed) / sizeof(installed[0]))) {
            fprintf(stderr, "kevo_sample: no InstallPath in HKLM\\SOFTWARE\\KEVO; name the library with --dll\n");
            return 2;
        }
        dll = installed;
    }

    /* Always a full path: a bare name would let the DLL search pick up a
       library of the wrong bitness or a planted copy. */
    if (jvmDir != NULL)
        SetDllDirectoryW(jvmDir);
    library = LoadLibraryExW(dll, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (jvmDir != NULL)
        SetDllDirectoryW(NULL);
    if (library == NULL) {
        /* 126: jvm.dll (or the library) not found; 193: wrong bitness. */
        fprintf(stderr, "kevo_sample: the library does not load (error %lu)\n", GetLastError());
        return 2;
    }
    getBasicData = (PFN_KEVOGetBasicData)GetProcAddress(library, "KEVOGetBasicData");
    freeBasicData = (PFN_KEVOFreeBasicData)GetProcAddress(library, "KEVOFreeBasicData");
    certValid = (PFN_KEVOCertValid)GetProcAddress(library, "KEVOCertValid");
    confirm = (PFN_KEVOConfirm)GetProcAddress(library, "KEVOConfirm");
    certViewDialog = (PFN_KEVOCertViewDialog)GetProcAddress(library, "KEVOCertViewDialog");
    if (getBasicData == NULL || freeBasicData == NULL || certValid == NULL || confirm == NULL ||
        certViewDialog == NULL) {
        fprintf(stderr, "kevo_sample: an export is missing\n");
        return 3;
    }

    memset(&basic, 0, sizeof(basic));
    code = getBasicData(&certificate, &basic);
    printf("KEVOGetBasicData: %d\n", (int)code);
    if (code == 0) {
        PrintUtf16("name", basic.name);
        PrintUtf16("address", basic.address);
        PrintNarrow("gender", basic.gender);
        PrintNarrow("dateOfBirth", basic.dateOfBirth);
        PrintNarrow("substituteCharacterOfName", basic.substituteCharacterOfName);
        PrintNarrow("substituteCharacterOfAddress", basic.substituteCharacterOfAddress);
    }
    /* The strings are the library's: only KEVOFreeBasicData gives them back. */
    printf("KEVOFreeBasicData: %d\n", (int)freeBasicData(&basic));

    code = certValid(&certificate, &pathStatus, &responseStatus);
    printf("KEVOCertValid: %d certPathStatus %d responseStatus %d\n", (int)code, (int)pathStatus,
           (int)responseStatus);
    printf("KEVOConfirm: %d\n", (int)confirm(&certificate));
    if (view)
        printf("KEVOCertViewDialog: %d\n", (int)certViewDialog(&certificate));

    /* The library stays loaded: once its Java VM runs it cannot be unloaded. */
    free(certificate.data);
    return 0;
}
