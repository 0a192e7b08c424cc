// The service API library against the machine's real Java VM, with the
// Java stand-ins steered per call through the certificate bytes. One VM
// serves the whole process, as in a real host; the cases that need another
// VM set-up run as separate processes (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <string.h>

#include <thread>
#include <vector>

#include <jni.h>

#include "KEVOServiceAPI.h"
#include "NativeTestSupport.h"

using namespace satest;

namespace {

struct BasicResult {
    int32_t rc;
    KEVOBasicData data;
};

BasicResult GetBasic(const std::string& scenario)
{
    Cert cert(scenario);
    BasicResult r;
    r.data = JunkRecord();
    r.rc = KEVOGetBasicData(cert.get(), &r.data);
    return r;
}

int32_t Confirm(const std::string& scenario)
{
    Cert cert(scenario);
    return KEVOConfirm(cert.get());
}

struct ValidResult {
    int32_t rc, path, response;
};

ValidResult Valid(const std::string& scenario)
{
    Cert cert(scenario);
    ValidResult r = {0, 77, 88};
    r.rc = KEVOCertValid(cert.get(), &r.path, &r.response);
    return r;
}

}  // namespace

// ---- arguments and records ----------------------------------------------------

TEST(Arguments, RefusedBeforeAnyJavaCall)
{
    std::string before = TraceText();
    unsigned char byte = 1;
    KEVOBinaryData empty = {0, &byte};
    KEVOBinaryData noData = {4, NULL};
    KEVOBasicData record = JunkRecord();
    EXPECT_EQ(-101, KEVOGetBasicData(NULL, &record));
    EXPECT_EQ(-101, KEVOGetBasicData(&empty, &record));
    EXPECT_EQ(-101, KEVOGetBasicData(&noData, &record));
    EXPECT_EQ(-101, KEVOGetBasicData(Cert("x").get(), NULL));
    // The output record is not touched on refusal.
    EXPECT_EQ(JunkRecord().name, record.name);

    int32_t path = 5, response = 6;
    EXPECT_EQ(-3, KEVOCertValid(&empty, &path, &response));
    EXPECT_EQ(-3, KEVOCertValid(&noData, &path, &response));
    EXPECT_EQ(-3, KEVOCertValid(Cert("x").get(), NULL, &response));
    EXPECT_EQ(-3, KEVOCertValid(Cert("x").get(), &path, NULL));
    EXPECT_EQ(5, path);
    EXPECT_EQ(6, response);

    EXPECT_EQ(-101, KEVOConfirm(NULL));
    EXPECT_EQ(-101, KEVOConfirm(&empty));
    EXPECT_EQ(-101, KEVOCertViewDialog(&noData));

    std::string added = TraceText().substr(before.size());
    EXPECT_EQ(0u, Count(added, "Call ")) << added;
    EXPECT_EQ(11u, Count(added, "Invalid Param\n"));
}

TEST(Arguments, FreeBasicData)
{
    EXPECT_EQ(-101, KEVOFreeBasicData(NULL));
    KEVOBasicData none = {NULL, NULL, NULL, NULL, NULL, NULL};
    EXPECT_EQ(0, KEVOFreeBasicData(&none));
    EXPECT_TRUE(AllNull(none));

    BasicResult r = GetBasic("name=a");
    ASSERT_EQ(0, r.rc);
    EXPECT_EQ(0, KEVOFreeBasicData(&r.data));
    EXPECT_TRUE(AllNull(r.data));
    EXPECT_EQ(0, KEVOFreeBasicData(&r.data));  // a second call frees nothing
}

// ---- basic data -----------------------------------------------------------------

TEST(BasicData, FieldsAsJavaHandsThemOut)
{
    BasicResult r = GetBasic("name=山田花子\naddress=北海道札幌市\ngender=2\ndob=19991231\nsubname=●\nsubaddr=1");
    ASSERT_EQ(0, r.rc);
    EXPECT_EQ(Utf16("山田花子"), Units(r.data.name));
    EXPECT_EQ(Utf16("北海道札幌市"), Units(r.data.address));
    EXPECT_STREQ("2", r.data.gender);
    EXPECT_STREQ("19991231", r.data.dateOfBirth);
    EXPECT_EQ(ModifiedUtf8("●"), std::string(r.data.substituteCharacterOfName));
    EXPECT_STREQ("1", r.data.substituteCharacterOfAddress);
    KEVOFreeBasicData(&r.data);
}

TEST(BasicData, SupplementaryCharactersKeepTheirSurrogates)
{
    BasicResult r = GetBasic("name=𠮷野𩸽\naddress=𠀋\ngender=𠮷");
    ASSERT_EQ(0, r.rc);
    std::u16string expected = {0xd842, 0xdfb7, 0x91ce, 0xd867, 0xde3d};
    EXPECT_EQ(expected, Units(r.data.name));
    EXPECT_EQ(std::u16string({0xd840, 0xdc0b}), Units(r.data.address));
    // Narrow fields are modified UTF-8: each surrogate as three bytes.
    EXPECT_EQ(std::string("\xed\xa1\x82\xed\xbe\xb7"), std::string(r.data.gender));
    KEVOFreeBasicData(&r.data);
}

TEST(BasicData, EmptyStringsAreTerminated)
{
    BasicResult r = GetBasic("name=\naddress=\ngender=\ndob=\nsubname=\nsubaddr=");
    ASSERT_EQ(0, r.rc);
    ASSERT_NE(nullptr, r.data.name);
    EXPECT_EQ(0, r.data.name[0]);
    EXPECT_EQ(0, r.data.address[0]);
    EXPECT_EQ('\0', r.data.gender[0]);
    EXPECT_EQ('\0', r.data.dateOfBirth[0]);
    EXPECT_EQ('\0', r.data.substituteCharacterOfName[0]);
    EXPECT_EQ('\0', r.data.substituteCharacterOfAddress[0]);
    KEVOFreeBasicData(&r.data);
}

TEST(BasicData, CertificateBytesReachJavaUnchanged)
{
    std::string bytes = "name=@hex\n";
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(i));
    BasicResult r = GetBasic(bytes);
    ASSERT_EQ(0, r.rc);
    std::u16string hex = Utf16(Hex(bytes));
    EXPECT_EQ(hex, Units(r.data.name));
    KEVOFreeBasicData(&r.data);
}

// Each failure leaves six null fields and the export's own code.
TEST(BasicData, FailuresMapThroughTheTable)
{
    struct Case {
        const char* scenario;
        int32_t expected;
    } cases[] = {
        {"basic=throw:-104", -103}, {"basic=throw:-105", -104}, {"basic=oom", -102},
        {"basic=throw:0", -104},     // no object after a code-0 exception
        {"basic=throw:-902", -101},  {"basic=throw:-998", -102}, {"basic=throw:7", -104},
        {"basic=null", -104},        {"basic=wrong", -104},      {"basic=runtime", -104},
        {"basic=error", -104},       {"ctor=throw:-104", -103},  {"ctor=oom", -102},
    };
    for (const Case& c : cases) {
        BasicResult r = GetBasic(c.scenario);
        EXPECT_EQ(c.expected, r.rc) << c.scenario;
        EXPECT_TRUE(AllNull(r.data)) << c.scenario;
    }
}

TEST(BasicData, FailingGetterLeavesSixNullFields)
{
    const char* fields[] = {"name", "address", "gender", "dob", "subname", "subaddr"};
    struct Case {
        const char* value;
        int32_t expected;
    } cases[] = {{"@null", -101}, {"@throw:0", -101}, {"@throw:-104", -103}, {"@oom", -102},
                 {"@runtime", -104}};
    for (const char* field : fields) {
        for (const Case& c : cases) {
            std::string scenario = std::string(field) + "=" + c.value;
            BasicResult r = GetBasic(scenario);
            EXPECT_EQ(c.expected, r.rc) << scenario;
            EXPECT_TRUE(AllNull(r.data)) << scenario;
        }
    }
}

// ---- certificate status ------------------------------------------------------------

TEST(CertValid, StatusesAndMappings)
{
    ValidResult ok = Valid("certStatus=5\npathStatus=6\nrespStatus=7");
    EXPECT_EQ(5, ok.rc);
    EXPECT_EQ(6, ok.path);
    EXPECT_EQ(7, ok.response);

    struct Case {
        const char* scenario;
        int32_t rc, path, response;
    } cases[] = {
        {"verify=throw:-104", -3, 0, 0}, {"verify=throw:-105", -4, 0, 0}, {"verify=oom", -2, 0, 0},
        {"verify=throw:0\ncertStatus=5", 0, 0, 0}, {"verify=throw:-902", -3, 0, 0},
        {"verify=null", -4, 0, 0},       {"verify=wrong", -4, 0, 0},      {"verify=runtime", -4, 0, 0},
        {"ctor=throw:-105", -4, 0, 0},
        // A status equal to a failure code is reported as that failure.
        {"certStatus=-105\npathStatus=1\nrespStatus=1", -4, 1, 1},
        {"certStatus=-998", -2, 0, 0},
        {"certStatus=-101\npathStatus=2\nrespStatus=3", -101, 2, 3},
        // A code-0 exception from getCertStatus: no path status is asked for.
        {"certStatus=@throw:0\npathStatus=@throw:-104\nrespStatus=9", 0, 0, 9},
        {"certStatus=3\npathStatus=@throw:0\nrespStatus=9", 3, 0, 9},
        {"certStatus=3\npathStatus=4\nrespStatus=@throw:-104", -3, 0, 0},
        {"certStatus=@oom", -2, 0, 0},
    };
    for (const Case& c : cases) {
        ValidResult r = Valid(c.scenario);
        EXPECT_EQ(c.rc, r.rc) << c.scenario;
        EXPECT_EQ(c.path, r.path) << c.scenario;
        EXPECT_EQ(c.response, r.response) << c.scenario;
    }
}

// ---- confirm -------------------------------------------------------------------------

TEST(Confirm, ResultCodesAndMappings)
{
    struct Case {
        const char* scenario;
        int32_t expected;
    } cases[] = {
        {"code=200", 200},           {"code=0", 0},                 {"code=-104", -104},
        {"code=-998", -102},         {"code=-901", -104},           {"code=-902", -101},
        {"confirm=throw:-104", -104}, {"confirm=throw:-105", -104}, {"confirm=oom", -102},
        {"confirm=throw:0", 0},      {"confirm=throw:-902", -101},  {"confirm=throw:42", 42},
        {"confirm=null", -104},      {"confirm=wrong", -104},       {"confirm=runtime", -104},
        {"confirm=error", -104},     {"code=@throw:-105", -104},    {"code=@oom", -102},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Confirm(c.scenario)) << c.scenario;
}

// ---- one VM for the process ----------------------------------------------------------

TEST(Process, SuccessiveCallsShareTheVmAndItsStaticState)
{
    int previous = -1;
    for (int i = 0; i < 5; ++i) {
        BasicResult r = GetBasic("gender=@count");
        ASSERT_EQ(0, r.rc) << "call " << i;
        int count = atoi(r.data.gender);
        if (previous >= 0)
            EXPECT_EQ(previous + 1, count);
        previous = count;
        KEVOFreeBasicData(&r.data);
        EXPECT_EQ(200, Confirm("code=200"));
        EXPECT_EQ(1, Valid("certStatus=1").rc);
        ++previous;  // the two calls above built two services
        ++previous;
    }
}

TEST(Process, CallsFromThreadsOneAfterAnother)
{
    for (int i = 0; i < 4; ++i) {
        int32_t rc = 1;
        std::thread worker([&] {
            BasicResult r = GetBasic("name=スレッド");
            rc = r.rc;
            if (r.rc == 0) {
                EXPECT_EQ(Utf16("スレッド"), Units(r.data.name));
                KEVOFreeBasicData(&r.data);
            }
        });
        worker.join();
        EXPECT_EQ(0, rc) << "thread " << i;
    }
    EXPECT_EQ(0, GetBasic("name=a").rc);
    // The library detaches a thread it attached, the VM's creator included.
    JavaVM* vm = NULL;
    jsize count = 0;
    ASSERT_EQ(JNI_OK, JNI_GetCreatedJavaVMs(&vm, 1, &count));
    ASSERT_EQ(1, count);
    void* env = NULL;
    EXPECT_EQ(JNI_EDETACHED, vm->GetEnv(&env, JNI_VERSION_1_4));
}

TEST(Process, SecondCallerIsTurnedAwayWhileJavaRuns)
{
    std::string dir = MakeTempDir("busy");
    ASSERT_FALSE(dir.empty());
    BasicResult first = {1, JunkRecord()};
    std::thread worker([&] { first = GetBasic("name=先の呼出し\nbasic=block:" + dir); });
    ASSERT_TRUE(WaitForFile(dir + "/entered", 30000));

    EXPECT_EQ(-104, Confirm("code=200"));
    BasicResult second = GetBasic("name=b");
    EXPECT_EQ(-104, second.rc);
    EXPECT_EQ(JunkRecord().name, second.data.name);  // untouched
    ValidResult valid = Valid("certStatus=1");
    EXPECT_EQ(-4, valid.rc);
    EXPECT_EQ(77, valid.path);
    EXPECT_EQ(88, valid.response);

    TouchFile(dir + "/release");
    worker.join();
    ASSERT_EQ(0, first.rc);
    EXPECT_EQ(Utf16("先の呼出し"), Units(first.data.name));
    KEVOFreeBasicData(&first.data);
    // The slot is free again.
    EXPECT_EQ(200, Confirm("code=200"));
}

// ---- trace lines ---------------------------------------------------------------------

TEST(Trace, LinesOfACallAndOfAnException)
{
    std::string before = TraceText();
    EXPECT_EQ(-103, GetBasic("basic=throw:-104").rc);
    std::string log = TraceText().substr(before.size());
    const char* expected[] = {
        "KEVOGetBasicData()_Enter\n", "KEVO_JVMHandler::KEVO_JVM_InitLibrary()_Enter\n",
        "Call JNI_GetCreatedJavaVMs\n", "Call FindClass\n", "End FindClass\n", "Call NewByteArray\n",
        "Call SetByteArrayRegion\n", "Call NewObject\n", "Call CallObjectMethod\n", "Call ExceptionClear\n",
        "Exception Occurred\n", "ErrorCode = -104\n", "KEVO_JVMHandler::KEVO_JVM_getBasicData()_Exit_returns -104\n",
        "KEVO_JVMHandler::KEVO_JVM_UninitLibrary()_Exit_returns 0\n", "KEVOGetBasicData()_Exit_returns -103\n"};
    for (const char* line : expected)
        EXPECT_NE(std::string::npos, log.find(line)) << line << "\n" << log;
    EXPECT_EQ(std::string::npos, log.find("Call JNI_CreateJavaVM")) << "the VM is created once";

    // Every operation of the handler has its entry and exit lines, those
    // of the helpers that free and clear included.
    before = TraceText();
    BasicResult fetched = GetBasic("name=a");
    ASSERT_EQ(0, fetched.rc);
    EXPECT_EQ(0, KEVOFreeBasicData(&fetched.data));
    log = TraceText().substr(before.size());
    const char* operations[] = {"KEVO_JVM_ExceptionOccurred()", "KEVO_JVM_GetStringChars()",
                                "KEVO_JVM_GetStringWideChars()", "DestoryExceptionHandle()",
                                "DestroyUserCertServiceHandle()", "CS_KEVO_JVM_FreeBasicData()"};
    for (const char* op : operations) {
        EXPECT_NE(std::string::npos, log.find(std::string("KEVO_JVMHandler::") + op + "_Enter\n")) << op;
        EXPECT_NE(std::string::npos, log.find(std::string("KEVO_JVMHandler::") + op + "_Exit_returns 0\n")) << op;
    }
    EXPECT_EQ(Count(log, "Call ExceptionClear\n"), Count(log, "End ExceptionClear\n"));

    before = TraceText();
    EXPECT_EQ(-102, Confirm("confirm=oom"));
    log = TraceText().substr(before.size());
    EXPECT_NE(std::string::npos, log.find("java.lang.OutOfMemoryError: stand-in out of memory\n")) << log;
    EXPECT_NE(std::string::npos, log.find("ErrorCode = -998\n"));

    before = TraceText();
    EXPECT_EQ(200, Confirm("code=200"));
    log = TraceText().substr(before.size());
    EXPECT_NE(std::string::npos, log.find("KEVOConfirmResult Code = 200\n")) << log;

    before = TraceText();
    EXPECT_EQ(-104, Confirm("confirm=wrong"));
    log = TraceText().substr(before.size());
    EXPECT_NE(std::string::npos, log.find("Call IsInstanceOf\n"));
    EXPECT_NE(std::string::npos, log.find("Unexpected Errors\n"));
}
