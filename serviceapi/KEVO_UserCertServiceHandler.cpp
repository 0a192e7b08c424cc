#include "KEVO_UserCertServiceHandler.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "ServiceApiCodes.h"
#include "TraceLog.h"
#include "ViewerCommand.h"

namespace {

const char kClass[] = "KEVO_UserCertServiceHandler";
// Fresh names are taken at most this often before the run gives up; with
// a new millisecond per try this spans several seconds.
const int kNameAttempts = 10000;

void Enter(const char* op)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s::%s_Enter\n", kClass, op);
}

int32_t Exit(const char* op, int32_t rc)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s::%s_Exit_returns %d\n", kClass, op, rc);
    return rc;
}

KevoUtcTime UtcNow()
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    KevoUtcTime t = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return t;
}

enum ReserveResult { RESERVED, NAME_TAKEN, RESERVE_FAILED };

// Creates the file only if no file of that name exists, so that no older
// file and no other run's file is ever reused.
ReserveResult ReserveFile(const char* name)
{
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? NAME_TAKEN : RESERVE_FAILED;
    }
    CloseHandle(file);
    return RESERVED;
}

// One name of the given kind, reserved; false when none could be.
bool CreateReservedName(char* name, const char* tempDir, const char* kind)
{
    KevoUtcTime last = {0, 0, 0, 0, 0, 0, -1};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        TraceLog(TRACE_LEVEL_FLOW, "CREATE_FILENAME()_Enter\n");
        KevoUtcTime now = UtcNow();
        if (memcmp(&now, &last, sizeof now) == 0) {
            Sleep(1);
            now = UtcNow();
        }
        last = now;
        bool built = KevoFormatTempFileName(name, KEVO_UCS_NAME_CAPACITY, tempDir, now, kind);
        TraceLog(TRACE_LEVEL_FLOW, "CREATE_FILENAME()_Exit\n");
        if (!built)
            return false;
        ReserveResult reserved = ReserveFile(name);
        if (reserved == RESERVED)
            return true;
        if (reserved == RESERVE_FAILED)
            return false;
    }
    return false;
}

}  // namespace

KEVO_UserCertServiceHandler::KEVO_UserCertServiceHandler()
    : m_pszCertFileName(NULL), m_pszResultFileName(NULL), m_bCertFileCreated(false), m_bResultFileCreated(false)
{
}

KEVO_UserCertServiceHandler::~KEVO_UserCertServiceHandler()
{
    FreeNames();
}

void KEVO_UserCertServiceHandler::FreeNames()
{
    free(m_pszCertFileName);
    free(m_pszResultFileName);
    m_pszCertFileName = NULL;
    m_pszResultFileName = NULL;
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_showCertViewer(const KEVOBinaryData* certificate)
{
    const char* op = "KEVO_UCS_showCertViewer()";
    Enter(op);
    if (certificate == NULL || certificate->length == 0 || certificate->data == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return Exit(op, KEVO_RC_INVALID_PARAM);
    }
    m_pszCertFileName = static_cast<char*>(calloc(KEVO_UCS_NAME_CAPACITY, 1));
    m_pszResultFileName = static_cast<char*>(calloc(KEVO_UCS_NAME_CAPACITY, 1));
    if (m_pszCertFileName == NULL || m_pszResultFileName == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Out Of Memory\n");
        FreeNames();
        return Exit(op, KEVO_RC_NO_MEMORY);
    }

    int32_t rc = KEVO_UCS_CreateTempFileNames(m_pszCertFileName, m_pszResultFileName);
    if (rc == KEVO_RC_OK) {
        rc = KEVO_UCS_CreateCertTempFile(m_pszCertFileName, certificate->data, certificate->length);
        if (rc == KEVO_RC_OK)
            rc = KEVO_UCS_ExecJavaCommand(m_pszCertFileName, m_pszResultFileName);
        if (rc == KEVO_RC_OK) {
            int32_t code = 0;
            rc = KEVO_UCS_GetReturnValue(m_pszResultFileName, &code);
            if (rc == KEVO_RC_OK)
                rc = code;
        }
        KEVO_UCS_DeleteFiles(m_pszCertFileName, m_pszResultFileName);
    }
    FreeNames();
    return Exit(op, rc);
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_CreateTempFileNames(char* certFileName, char* resultFileName)
{
    const char* op = "KEVO_UCS_CreateTempFileNames()";
    Enter(op);
    char tempDir[MAX_PATH];
    DWORD needed = GetTempPathA(0, NULL);
    DWORD got = 0;
    if (needed != 0 && needed <= sizeof tempDir)
        got = GetTempPathA(sizeof tempDir, tempDir);
    // The command line holds both names: a directory too long for it fails
    // here, before any file exists.
    if (needed == 0 || needed > sizeof tempDir || got == 0 || got >= sizeof tempDir ||
        !KevoTempDirFitsCommand(got)) {
        TraceLog(TRACE_LEVEL_ERROR, "can not get temp path\n");
        return Exit(op, KEVO_RC_JNI_FAILED);
    }

    m_bCertFileCreated = CreateReservedName(certFileName, tempDir, "cer");
    if (m_bCertFileCreated)
        m_bResultFileCreated = CreateReservedName(resultFileName, tempDir, "ret");
    if (!m_bCertFileCreated || !m_bResultFileCreated) {
        TraceLog(TRACE_LEVEL_ERROR, "IOError\n");
        KEVO_UCS_DeleteFiles(certFileName, resultFileName);
        return Exit(op, KEVO_RC_JNI_FAILED);
    }
    return Exit(op, KEVO_RC_OK);
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_CreateCertTempFile(const char* fileName, const unsigned char* bytes,
                                                                 uint32_t count)
{
    const char* op = "KEVO_UCS_CreateCertTempFile()";
    Enter(op);
    // The file is the one this run reserved; opening it emptied keeps the
    // certificate the only content whatever happened to it meanwhile.
    HANDLE file = CreateFileA(fileName, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        TraceLog(TRACE_LEVEL_ERROR, "IOError\n");
        return Exit(op, KEVO_RC_JNI_FAILED);
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, count, &written, NULL);
    CloseHandle(file);
    if (!ok || written != count) {
        TraceLog(TRACE_LEVEL_ERROR, "IOError\n");
        return Exit(op, KEVO_RC_JNI_FAILED);
    }
    return Exit(op, KEVO_RC_OK);
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_ExecJavaCommand(const char* certFileName, const char* resultFileName)
{
    const char* op = "KEVO_UCS_ExecJavaCommand()";
    Enter(op);
    char command[KEVO_UCS_COMMAND_CAPACITY];
    if (!KevoBuildViewerCommand(command, sizeof command, certFileName, resultFileName)) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return Exit(op, KEVO_RC_INVALID_PARAM);
    }
    // The interpreter of COMSPEC finds java.exe in the current directory
    // or on PATH and waits for it.
    int status = system(command);
    if (status != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "SystemCallError\n");
        return Exit(op, KEVO_RC_UNEXPECTED);
    }
    return Exit(op, KEVO_RC_OK);
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_GetReturnValue(const char* resultFileName, int32_t* code)
{
    const char* op = "KEVO_UCS_GetReturnValue()";
    Enter(op);
    HANDLE file = CreateFileA(resultFileName, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        TraceLog(TRACE_LEVEL_ERROR, "IOError\n");
        return Exit(op, KEVO_RC_JNI_FAILED);
    }
    unsigned char bytes[4] = {0, 0, 0, 0};
    DWORD read = 0;
    BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, NULL);
    // Closed on every path, so that the file can be deleted afterwards.
    CloseHandle(file);
    if (!ok || read < sizeof bytes) {
        TraceLog(TRACE_LEVEL_ERROR, "IOError\n");
        return Exit(op, KEVO_RC_JNI_FAILED);
    }
    if (code == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Invalid Param\n");
        return Exit(op, KEVO_RC_INVALID_PARAM);
    }
    *code = KevoDecodeResultCode(bytes);
    return Exit(op, KEVO_RC_OK);
}

void KEVO_UserCertServiceHandler::KEVO_UCS_DeleteFiles(const char* certFileName, const char* resultFileName)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s::KEVO_UCS_DeleteFiles()_Enter\n", kClass);
    if (m_bCertFileCreated && certFileName != NULL)
        DeleteFileA(certFileName);
    if (m_bResultFileCreated && resultFileName != NULL)
        DeleteFileA(resultFileName);
    m_bCertFileCreated = false;
    m_bResultFileCreated = false;
    TraceLog(TRACE_LEVEL_FLOW, "%s::KEVO_UCS_DeleteFiles()_Exit\n", kClass);
}

int32_t KEVO_UserCertServiceHandler::KEVO_UCS_MappingReturnCodeCertViewDialog(int32_t code)
{
    const char* op = "KEVO_UCS_MappingReturnCodeCertViewDialog()";
    TraceLog(TRACE_LEVEL_FLOW, "%s::%s_Enter\n", kClass, op);
    int32_t mapped = KEVO_UCS_MapCode(code);
    TraceLog(TRACE_LEVEL_FLOW, "%s::%s_Exit_returns %d\n", kClass, op, mapped);
    return mapped;
}
