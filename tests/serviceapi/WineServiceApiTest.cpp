// The Windows library under Wine: its exports and entry point, the VM-based
// exports over a jvm.dll that refuses every VM, and the certificate viewer
// command with a stand-in java.exe found on PATH.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "KEVOServiceAPI.h"
#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const std::wstring kLibrary = WinePath(KEVO_SERVICEAPI_DLL);
const std::wstring kJvmStub = WinePath(KEVO_JVMSTUB_DLL);
const std::wstring kViewerDir = WinePath(KEVO_VIEWER_DIR);

std::string StripCr(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out.push_back(c);
    return out;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size())
        ++n;
    return n;
}

std::string Line(const std::string& record, const std::string& key)
{
    size_t p = record.find(key + "=");
    if (p == std::string::npos)
        return std::string();
    p += key.size() + 1;
    return record.substr(p, record.find('\n', p) - p);
}

struct Certificate {
    explicit Certificate(const std::string& b) : bytes(b)
    {
        record.length = static_cast<uint32_t>(bytes.size());
        record.data = reinterpret_cast<unsigned char*>(&bytes[0]);
    }
    std::string bytes;
    KEVOBinaryData record;
};

// Bytes that a text-mode write or a string copy would change.
std::string BinaryCertificate()
{
    std::string der = "\x30\x82\x01\x0a\x00\x1a\r\n\n\x00\xff";
    for (int i = 0; i < 300; ++i)
        der.push_back(static_cast<char>(i * 7));
    return der;
}

class ServiceApiWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        EnableTrace(20);
        scratch_ = MakeScratchDir(L"serviceapi");
        bin_ = scratch_ + L"bin\\";
        temp_ = scratch_ + L"temp\\";
        CreateDirectoryW(bin_.c_str(), NULL);
        CreateDirectoryW(temp_.c_str(), NULL);
        ASSERT_TRUE(CopyFileW(kLibrary.c_str(), (bin_ + L"KEVOServiceAPIk.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(kJvmStub.c_str(), (bin_ + L"jvm.dll").c_str(), FALSE));
        savedPath_ = GetEnv(L"PATH");
        savedTmp_ = GetEnv(L"TMP");
        savedTemp_ = GetEnv(L"TEMP");
        SetTempDir(temp_);
        SetEnvironmentVariableW(L"PATH", (kViewerDir + L";" + savedPath_).c_str());
        SetEnvironmentVariableW(L"KEVO_VIEWER_LOG", (scratch_ + L"viewer.txt").c_str());
        SetEnvironmentVariableW(L"KEVO_VIEWER_MODE", L"write:00000000");
    }
    void TearDown() override
    {
        Unload();
        SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
        SetEnvironmentVariableW(L"TMP", savedTmp_.c_str());
        SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
        const wchar_t* ours[] = {L"KEVO_VIEWER_LOG", L"KEVO_VIEWER_MODE", L"KEVO_VIEWER_EXPECT",
                                 L"KEVO_JVMSTUB_RECORD", L"CLASSPATH"};
        for (const wchar_t* name : ours)
            SetEnvironmentVariableW(name, NULL);
        RemoveTree(scratch_);
        ResetKevoRegistry();
    }
    void SetTempDir(const std::wstring& dir)
    {
        SetEnvironmentVariableW(L"TMP", dir.c_str());
        SetEnvironmentVariableW(L"TEMP", dir.c_str());
    }
    void Load()
    {
        module_ = LoadLibraryExW((bin_ + L"KEVOServiceAPIk.dll").c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, module_) << GetLastError();
        getBasicData_ = reinterpret_cast<PFN_KEVOGetBasicData>(GetProcAddress(module_, "KEVOGetBasicData"));
        freeBasicData_ = reinterpret_cast<PFN_KEVOFreeBasicData>(GetProcAddress(module_, "KEVOFreeBasicData"));
        certValid_ = reinterpret_cast<PFN_KEVOCertValid>(GetProcAddress(module_, "KEVOCertValid"));
        confirm_ = reinterpret_cast<PFN_KEVOConfirm>(GetProcAddress(module_, "KEVOConfirm"));
        viewer_ = reinterpret_cast<PFN_KEVOCertViewDialog>(GetProcAddress(module_, "KEVOCertViewDialog"));
    }
    void Unload()
    {
        if (module_ != NULL)
            FreeLibrary(module_);
        module_ = NULL;
    }
    std::string Log() { return StripCr(ReadLogs(temp_, L"kevousercert")); }
    std::string ViewerRecord() { return ReadBytes(scratch_ + L"viewer.txt"); }
    static std::string Tail(const std::string& text)
    {
        return text.substr(text.size() > 1500 ? text.size() - 1500 : 0);
    }
    std::vector<std::wstring> TempFiles() { return ListFiles(temp_, L"kevo2*"); }
    // UTC time as 100 ns units, and the temporary names of one millisecond.
    static ULONGLONG UtcNow100ns()
    {
        SYSTEMTIME now;
        GetSystemTime(&now);
        FILETIME ft;
        SystemTimeToFileTime(&now, &ft);
        ULARGE_INTEGER v;
        v.LowPart = ft.dwLowDateTime;
        v.HighPart = ft.dwHighDateTime;
        return v.QuadPart;
    }
    // Stale files for each millisecond of [now + lead, now + lead + window).
    std::vector<std::wstring> WriteStaleFiles(ULONGLONG leadMs, ULONGLONG windowMs, const std::string& cer,
                                              const std::string& ret)
    {
        windowStart_ = UtcNow100ns() + leadMs * 10000;
        std::string tempDir = Utf8(temp_);
        std::vector<std::wstring> names;
        for (ULONGLONG ms = 0; ms < windowMs; ++ms) {
            ULARGE_INTEGER at;
            at.QuadPart = windowStart_ + ms * 10000;
            FILETIME aft = {at.LowPart, at.HighPart};
            SYSTEMTIME st;
            FileTimeToSystemTime(&aft, &st);
            char base[300];
            snprintf(base, sizeof base, "%skevo%04d%02d%02d%02d%02d%02d%04d", tempDir.c_str(), st.wYear, st.wMonth,
                     st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
            names.push_back(Widen(std::string(base) + "cer.dat"));
            WriteBytes(names.back(), cer);
            names.push_back(Widen(std::string(base) + "ret.dat"));
            WriteBytes(names.back(), ret);
        }
        return names;
    }
    // Waits (bounded) until the window opens; false when it is already
    // further than usableMs into the window.
    bool WaitForWindow(ULONGLONG leadMs, ULONGLONG usableMs)
    {
        DWORD waitEnd = GetTickCount() + static_cast<DWORD>(leadMs) + 5000;
        ULONGLONG now = UtcNow100ns();
        while (now < windowStart_ && GetTickCount() < waitEnd) {
            Sleep(1);
            now = UtcNow100ns();
        }
        return now >= windowStart_ && now < windowStart_ + usableMs * 10000;
    }
    ULONGLONG windowStart_ = 0;
    int32_t View(const std::string& bytes)
    {
        Certificate cert(bytes);
        return viewer_(&cert.record);
    }

    std::wstring scratch_, bin_, temp_;
    std::wstring savedPath_, savedTmp_, savedTemp_;
    HMODULE module_ = NULL;
    PFN_KEVOGetBasicData getBasicData_ = NULL;
    PFN_KEVOFreeBasicData freeBasicData_ = NULL;
    PFN_KEVOCertValid certValid_ = NULL;
    PFN_KEVOConfirm confirm_ = NULL;
    PFN_KEVOCertViewDialog viewer_ = NULL;
};

}  // namespace

// ---- library, exports, entry point ------------------------------------------------

TEST_F(ServiceApiWine, ExportsTheFiveNamesAndTracesItsEntryPoint)
{
    Load();
    ASSERT_NE(nullptr, getBasicData_);
    ASSERT_NE(nullptr, freeBasicData_);
    ASSERT_NE(nullptr, certValid_);
    ASSERT_NE(nullptr, confirm_);
    ASSERT_NE(nullptr, viewer_);
    EXPECT_EQ(nullptr, GetProcAddress(module_, "_KEVOGetBasicData"));
    EXPECT_EQ(nullptr, GetProcAddress(module_, "KEVOGetBasicData@8"));

    std::thread worker([] {});
    worker.join();
    Unload();

    std::vector<std::wstring> logs = ListFiles(temp_, L"kevousercert*");
    ASSERT_EQ(1u, logs.size());
    EXPECT_TRUE(std::regex_match(Utf8(logs[0]), std::regex("kevousercert\\d{14}[0-9a-f]{8}\\.log")));
    std::string log = Log();
    char pid[64];
    snprintf(pid, sizeof pid, "PID =0x%lx \n", GetCurrentProcessId());
    const char* reasons[] = {"DLL_PROCESS_ATTACH", "DLL_THREAD_ATTACH", "DLL_THREAD_DETACH", "DLL_PROCESS_DETACH"};
    for (const char* reason : reasons)
        EXPECT_NE(std::string::npos, log.find(std::string("DllMain : reason = ") + reason + ", " + pid))
            << reason << "\n" << log;
}

TEST_F(ServiceApiWine, LoadFailsWithoutTheVmLibrary)
{
    ASSERT_TRUE(DeleteFileW((bin_ + L"jvm.dll").c_str()));
    HMODULE module = LoadLibraryExW((bin_ + L"KEVOServiceAPIk.dll").c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(nullptr, module);
    if (module != NULL)
        FreeLibrary(module);
}

// ---- VM-based exports over a VM library that refuses -----------------------------

TEST_F(ServiceApiWine, RefusedVmGivesEachExportsCode)
{
    SetEnvironmentVariableW(L"KEVO_JVMSTUB_RECORD", (scratch_ + L"jvm.txt").c_str());
    Load();
    Certificate cert(BinaryCertificate());
    uint16_t junkWide[] = {'j', 0};
    char junk[] = "junk";
    KEVOBasicData record = {junkWide, junkWide, junk, junk, junk, junk};
    EXPECT_EQ(-104, getBasicData_(&cert.record, &record));
    EXPECT_EQ(nullptr, record.name);
    EXPECT_EQ(nullptr, record.substituteCharacterOfAddress);
    int32_t path = 55, response = 66;
    EXPECT_EQ(-4, certValid_(&cert.record, &path, &response));
    EXPECT_EQ(55, path);
    EXPECT_EQ(66, response);
    EXPECT_EQ(-104, confirm_(&cert.record));
    EXPECT_EQ(0, freeBasicData_(&record));
    EXPECT_EQ(-101, freeBasicData_(NULL));

    std::string log = Log();
    EXPECT_EQ(3u, Count(log, "Error JNI_CreateJavaVM returns -901\n")) << log;
    EXPECT_EQ(0u, Count(log, "Call FindClass"));
    EXPECT_NE(std::string::npos, log.find("KEVOCertValid()_Exit_returns -4\n"));
    // Without CLASSPATH the VM gets only the options that keep it off the
    // host's console events and current folder.
    std::string request = "version=10004 ignore=1 options=2 -Xrs -XX:ErrorFile=" + ToCp932(temp_) + "hs_err_pid%p.log\n";
    EXPECT_EQ(request + request + request, ReadBytes(scratch_ + L"jvm.txt"));
}

// Option strings are in the ANSI code page; a '%' of the temporary folder
// is doubled (the VM reads "%p" as its process id), and a folder the code
// page cannot spell is named by its short form.
TEST_F(ServiceApiWine, VmOptionsInTheAnsiCodePage)
{
    SetEnvironmentVariableW(L"KEVO_JVMSTUB_RECORD", (scratch_ + L"jvm.txt").c_str());
    SetEnvironmentVariableW(L"CLASSPATH", L"C:\\KEVO\\クラス\\kevo.jar;C:\\KEVO\\lib");
    std::wstring japanese = temp_ + L"一時%p\\", outside = temp_ + L"\U00020BB7\\";
    CreateDirectoryW(japanese.c_str(), NULL);
    CreateDirectoryW(outside.c_str(), NULL);
    Certificate cert("x");
    SetTempDir(japanese);
    Load();
    EXPECT_EQ(-104, confirm_(&cert.record));
    EXPECT_EQ("version=10004 ignore=1 options=3 -Djava.class.path=" + ToCp932(L"C:\\KEVO\\クラス\\kevo.jar;C:\\KEVO\\lib") +
                  " -Xrs -XX:ErrorFile=" + ToCp932(temp_ + L"一時") + "%%p\\hs_err_pid%p.log\n",
              ReadBytes(scratch_ + L"jvm.txt"));

    DeleteFileW((scratch_ + L"jvm.txt").c_str());
    SetTempDir(outside);
    EXPECT_EQ(-104, confirm_(&cert.record));
    std::string request = ReadBytes(scratch_ + L"jvm.txt");
    size_t start = request.find("-XX:ErrorFile="), end = request.find("hs_err_pid%p.log\n");
    ASSERT_NE(std::string::npos, start) << request;
    ASSERT_NE(std::string::npos, end) << request;
    std::wstring folder = FromCp932(request.substr(start + 14, end - start - 14));
    wchar_t longForm[MAX_PATH];
    ASSERT_NE(0u, GetLongPathNameW(folder.c_str(), longForm, MAX_PATH)) << request;
    EXPECT_EQ(Utf8(outside), Utf8(longForm));
}

// ---- certificate viewer ---------------------------------------------------------------

TEST_F(ServiceApiWine, ViewerResultCodes)
{
    Load();
    struct Case {
        const wchar_t* mode;
        int32_t expected;
    } cases[] = {
        {L"write:00000000", 0},       {L"write:FFFFFF97", -105},     {L"write:FFFFFF98", -103},
        {L"write:FFFFFC7A", -101},    {L"write:FFFFFC1A", -102},     {L"write:00000001", -104},
        {L"write:FFFFFF97AABBCCDD", -105},  // bytes after the first four do not count
        {L"write:00", -104},          {L"write:0000", -104},         {L"write:000000", -104},
        {L"write:", -104},            {L"none", -104},               {L"exit:1", -104},
        {L"exit:0", -104},            // no result file either
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableW(L"KEVO_VIEWER_MODE", c.mode);
        int32_t rc = View(BinaryCertificate());
        // On a mismatch the library's trace and the stand-in's record tell
        // which step failed (interpreter, stand-in or result file).
        EXPECT_EQ(c.expected, rc) << Utf8(c.mode) << "\n" << Tail(Log()) << "\n" << Tail(ViewerRecord());
        EXPECT_TRUE(TempFiles().empty()) << Utf8(c.mode);
    }
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("SystemCallError\n"));
    EXPECT_NE(std::string::npos, log.find("IOError\n"));
}

TEST_F(ServiceApiWine, ViewerGetsTheCommandLineAndTheCertificateBytes)
{
    Load();
    std::string der = BinaryCertificate();
    WriteBytes(scratch_ + L"expected.der", der);
    SetEnvironmentVariableW(L"KEVO_VIEWER_EXPECT", (scratch_ + L"expected.der").c_str());
    SetEnvironmentVariableW(L"KEVO_VIEWER_MODE", L"write:FFFFFF97");
    ASSERT_EQ(-105, View(der));

    std::string record = ViewerRecord();
    std::string tempDir = Utf8(temp_);
    std::string cer = Line(record, "arg2");
    std::string ret = Line(record, "arg3");
    EXPECT_EQ("kevo.appli.KEVOUserCertServiceMain", Line(record, "arg1"));
    std::regex name("kevo\\d{8}\\d{6}0\\d{3}(cer|ret)\\.dat");
    ASSERT_EQ(tempDir, cer.substr(0, tempDir.size())) << record;
    ASSERT_EQ(tempDir, ret.substr(0, tempDir.size())) << record;
    EXPECT_TRUE(std::regex_match(cer.substr(tempDir.size()), name)) << cer;
    EXPECT_TRUE(std::regex_match(ret.substr(tempDir.size()), name)) << ret;
    EXPECT_EQ("cer.dat", cer.substr(cer.size() - 7));
    EXPECT_EQ("ret.dat", ret.substr(ret.size() - 7));
    EXPECT_EQ(std::to_string(der.size()), Line(record, "certsize"));
    EXPECT_EQ("0", Line(record, "resultsize"));  // reserved empty for the viewer
    EXPECT_NE(std::string::npos,
              Line(record, "cmdline").find("kevo.appli.KEVOUserCertServiceMain \"" + cer + "\" \"" + ret + "\""))
        << record;
    EXPECT_TRUE(TempFiles().empty());
    std::string log = Log();
    const char* lines[] = {
        "KEVOCertViewDialog()_Enter\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_showCertViewer()_Enter\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_CreateTempFileNames()_Exit_returns 0\n",
        "CREATE_FILENAME()_Enter\n",
        "CREATE_FILENAME()_Exit\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_CreateCertTempFile()_Exit_returns 0\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_ExecJavaCommand()_Exit_returns 0\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_GetReturnValue()_Exit_returns 0\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_DeleteFiles()_Exit\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_showCertViewer()_Exit_returns -105\n",
        "KEVO_UserCertServiceHandler::KEVO_UCS_MappingReturnCodeCertViewDialog()_Exit_returns -105\n",
        "KEVOCertViewDialog()_Exit_returns -105\n"};
    for (const char* line : lines)
        EXPECT_NE(std::string::npos, log.find(line)) << line;

    // A mismatching certificate makes the stand-in exit non-zero.
    WriteBytes(scratch_ + L"expected.der", der + "x");
    EXPECT_EQ(-104, View(der));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ServiceApiWine, NoJavaOnThePath)
{
    SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
    Load();
    EXPECT_EQ(-104, View(BinaryCertificate()));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(ViewerRecord().empty());
    EXPECT_NE(std::string::npos, Log().find("SystemCallError\n"));
}

TEST_F(ServiceApiWine, ViewerArgumentChecks)
{
    Load();
    unsigned char byte = 1;
    KEVOBinaryData empty = {0, &byte};
    KEVOBinaryData noData = {3, NULL};
    EXPECT_EQ(-101, viewer_(NULL));
    EXPECT_EQ(-101, viewer_(&empty));
    EXPECT_EQ(-101, viewer_(&noData));
    EXPECT_TRUE(ViewerRecord().empty());
}

// Stale files of the names the next calls would build: the viewer must
// never see their bytes, and they must survive the call.
TEST_F(ServiceApiWine, StaleFilesOfTheSameNameAreNeverReused)
{
    Load();
    std::string der = BinaryCertificate();
    WriteBytes(scratch_ + L"expected.der", der);
    SetEnvironmentVariableW(L"KEVO_VIEWER_EXPECT", (scratch_ + L"expected.der").c_str());
    SetEnvironmentVariableW(L"KEVO_VIEWER_MODE", L"none");

    // Names for every millisecond of a window that starts a little ahead,
    // so that the files exist before the window opens; a machine too slow
    // for that lead gets a longer one.
    const ULONGLONG windowMs = 800;
    std::string stale(4096, 'S');
    std::string staleResult("\x00\x00\x00\x00", 4);
    std::vector<std::wstring> staleNames;
    bool inWindow = false;
    for (ULONGLONG leadMs = 1500; !inWindow && leadMs <= 12000; leadMs *= 2) {
        for (const std::wstring& name : staleNames)
            DeleteFileW(name.c_str());
        staleNames = WriteStaleFiles(leadMs, windowMs, stale, staleResult);
        inWindow = WaitForWindow(leadMs, windowMs - 300);
    }
    ASSERT_TRUE(inWindow) << "stale files could not be written ahead of time";

    // A stale result file would give 0; the viewer writes none, so -104.
    EXPECT_EQ(-104, View(der));
    EXPECT_GT(Count(Log(), "CREATE_FILENAME()_Enter\n"), 2u) << "the call never met a stale name";
    std::string record = ViewerRecord();
    EXPECT_EQ("0", Line(record, "resultsize")) << record;
    EXPECT_NE(std::string::npos, record.find("end\n"));
    // The certificate matched (else the stand-in exits 3: also -104, so
    // check the size it saw as well).
    EXPECT_EQ(std::to_string(der.size()), Line(record, "certsize"));
    for (const std::wstring& name : staleNames)
        ASSERT_TRUE((name.find(L"cer.dat") != std::wstring::npos ? stale : staleResult) == ReadBytes(name))
            << Utf8(name) << " was changed";
    for (const std::wstring& name : staleNames)
        DeleteFileW(name.c_str());
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ServiceApiWine, OverlappingViewerCallsKeepTheirOwnFiles)
{
    Load();
    SetEnvironmentVariableW(L"KEVO_VIEWER_MODE", L"echo");
    std::string first("\x00\x00\x00\x00 first certificate", 22);
    std::string second("\xff\xff\xff\x97 second certificate", 23);
    for (int round = 0; round < 3; ++round) {
        volatile LONG ready = 0;
        int32_t a = 1, b = 1;
        std::thread ta([&] {
            InterlockedIncrement(&ready);
            while (ready < 2) {
            }
            a = View(first);
        });
        std::thread tb([&] {
            InterlockedIncrement(&ready);
            while (ready < 2) {
            }
            b = View(second);
        });
        ta.join();
        tb.join();
        EXPECT_EQ(0, a) << "round " << round;
        EXPECT_EQ(-105, b) << "round " << round;
        EXPECT_TRUE(TempFiles().empty());
    }
}

TEST_F(ServiceApiWine, TemporaryDirectoryTooLongForTheCommandLine)
{
    // 245 characters with the backslash: both names no longer fit in the
    // 584-byte command line.
    std::wstring longDir = temp_;
    longDir += std::wstring(245 - temp_.size() - 1, L'd') + L"\\";
    ASSERT_EQ(245u, longDir.size());
    ASSERT_TRUE(CreateDirectoryW(longDir.c_str(), NULL));
    Load();
    SetTempDir(longDir);
    EXPECT_EQ(-104, View(BinaryCertificate()));
    EXPECT_TRUE(ViewerRecord().empty());
    EXPECT_TRUE(ListFiles(longDir, L"kevo2*").empty());
    EXPECT_NE(std::string::npos, Log().find("can not get temp path\n"));

    // 230 characters: the longest whose names still fit a path.
    std::wstring fitting = temp_ + std::wstring(230 - temp_.size() - 1, L'f') + L"\\";
    ASSERT_TRUE(CreateDirectoryW(fitting.c_str(), NULL));
    SetTempDir(fitting);
    EXPECT_EQ(0, View(BinaryCertificate()));
    EXPECT_EQ(Utf8(fitting), Line(ViewerRecord(), "arg2").substr(0, fitting.size()));
    EXPECT_TRUE(ListFiles(fitting, L"kevo2*").empty());
}
