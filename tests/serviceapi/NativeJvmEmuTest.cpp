// The service library over the JNI emulation of testbed/jvmemu: what the
// service's Java side answers is chosen per case through the scenario file,
// and after every call the emulated VM's report must show no trap, no
// misuse and no leaked reference. The suites GuardRelease, FlowLevel and
// EmuSelfCheck need a process of their own (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <jni.h>

#include "JvmEmuReport.h"
#include "KEVOServiceAPI.h"
#include "NativeTestSupport.h"

using namespace satest;

// The testing build's hook: the nth VM creation from now fails with
// std::bad_alloc while its class-path option is built.
extern "C" void KEVOTesting_FailAllocation(int nth);

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class JvmEmu : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = MakeTempDir("jvmemu");
        setenv("KEVO_JVMEMU_SCENARIO", (dir_ + "/scenario.txt").c_str(), 1);
        setenv("KEVO_JVMEMU_TRAPS", (dir_ + "/report.txt").c_str(), 1);
        traceBefore_ = TraceText().size();
    }
    void TearDown() override
    {
        unlink((dir_ + "/scenario.txt").c_str());
        unlink((dir_ + "/report.txt").c_str());
        rmdir(dir_.c_str());
    }
    void Scenario(const std::string& text)
    {
        std::ofstream(dir_ + "/scenario.txt", std::ios::binary) << text;
        unlink((dir_ + "/report.txt").c_str());
    }
    // The emulated VM's faults since the scenario was written; a call ran.
    std::vector<std::string> Problems() { return jvmemu::Problems(ReadFile(dir_ + "/report.txt")); }
    std::string Log() { return TraceText().substr(traceBefore_); }

    std::string dir_;
    size_t traceBefore_ = 0;
};

int32_t GetBasic(KEVOBasicData* record)
{
    std::string bytes = "certificate";
    Cert cert(bytes);
    *record = JunkRecord();
    return KEVOGetBasicData(cert.get(), record);
}

const std::vector<std::string> kClean;

}  // namespace

TEST_F(JvmEmu, BasicDataAsTheServiceHandsItOut)
{
    Scenario("name=𠮷野 花子\naddress=東京都千代田区𠀋町1-2\ngender=2\ndateOfBirth=19991231\n"
             "substituteCharacterOfName=𠮷\nsubstituteCharacterOfAddress=●\n");
    KEVOBasicData record;
    ASSERT_EQ(0, GetBasic(&record));
    EXPECT_EQ(Utf16("𠮷野 花子"), Units(record.name));
    EXPECT_EQ(0xd842, record.name[0]);   // the pair as the VM holds it
    EXPECT_EQ(0xdfb7, record.name[1]);
    EXPECT_EQ(Utf16("東京都千代田区𠀋町1-2"), Units(record.address));
    EXPECT_STREQ("2", record.gender);
    EXPECT_STREQ("19991231", record.dateOfBirth);
    EXPECT_EQ(std::string("\xed\xa1\x82\xed\xbe\xb7"), record.substituteCharacterOfName);
    EXPECT_EQ(ModifiedUtf8("●"), record.substituteCharacterOfAddress);
    EXPECT_EQ(kClean, Problems());
    // No CLASSPATH here (see CMakeLists.txt): the VM's options keep it off
    // the host's signals and current folder.
    EXPECT_EQ("option -Xrs\noption -XX:ErrorFile=" + std::string(getenv("TMPDIR")) +
                  "/hs_err_pid%p.log\nleaked 0\nlive 0\nunreleased 0\n",
              ReadFile(dir_ + "/report.txt"));

    EXPECT_EQ(0, KEVOFreeBasicData(&record));
    EXPECT_TRUE(AllNull(record));
    EXPECT_EQ(0, KEVOFreeBasicData(&record));

    // Every JNI call between its two lines, these two included.
    std::string log = Log();
    EXPECT_GE(Count(log, "Call DeleteLocalRef\n"), 6u) << log;
    EXPECT_EQ(Count(log, "Call DeleteLocalRef\n"), Count(log, "End DeleteLocalRef\n"));
    EXPECT_EQ(1u, Count(log, "Call ExceptionCheck\n"));
    EXPECT_EQ(1u, Count(log, "End ExceptionCheck\n"));
    EXPECT_EQ(Count(log, "Call "), Count(log, "End "));
}

TEST_F(JvmEmu, CertificateBytesAndEmptyTexts)
{
    // As a Windows editor saves it: byte-order mark, CR LF, a comment.
    Scenario("\xef\xbb\xbf# hex of the certificate\r\nname=@hex\r\naddress=\r\ngender=\r\n"
             "substituteCharacterOfAddress=\r\n");
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(255 - i));
    Cert cert(bytes);
    KEVOBasicData record = JunkRecord();
    ASSERT_EQ(0, KEVOGetBasicData(cert.get(), &record));
    EXPECT_EQ(Utf16(Hex(bytes)), Units(record.name));
    EXPECT_EQ(0, record.address[0]);
    EXPECT_STREQ("", record.gender);
    EXPECT_STREQ("19700401", record.dateOfBirth);   // the service's default
    EXPECT_STREQ("", record.substituteCharacterOfAddress);
    KEVOFreeBasicData(&record);
    EXPECT_EQ(kClean, Problems());
}

TEST_F(JvmEmu, FailuresOfTheJavaSideMapToGetBasicDataCodes)
{
    struct Case {
        const char* scenario;
        int32_t expected;
        const char* logged;
    } cases[] = {
        {"throw=-104", -103, "ErrorCode = -104\n"},
        {"throw=-902", -101, "ErrorCode = -902\n"},
        {"throw=-998", -102, "ErrorCode = -998\n"},
        {"throw=-105", -104, "ErrorCode = -105\n"},
        {"throw=7", -104, "ErrorCode = 7\n"},
        {"at=getAddress\nthrow=-104", -103, "ErrorCode = -104\n"},
        {"at=<init>\nthrow=-998", -102, "ErrorCode = -998\n"},
        {"oom=getBasicData", -102, "java.lang.OutOfMemoryError: emulated: Java heap space\n"},
        {"oom=NewByteArray", -102, "ErrorCode = -998\n"},
        {"oom=PushLocalFrame", -102, "Out Of Memory\n"},
        {"oom=GetStringChars#2", -102, "Out Of Memory\n"},
        {"oom=GetStringUTFChars#3", -102, "Out Of Memory\n"},
        {"exception=service down", -104, "java.lang.Exception: service down\n"},
        {"name=@null", -101, "Invalid Param\n"},
        {"dateOfBirth=@null", -101, "Invalid Param\n"},
        {"result=null", -104, "Unexpected Errors\n"},
        {"result=wrong", -104, "Unexpected Errors\n"},
        {"missingClass=kevo/appli/KEVOUserCertService", -104, "Exception Occurred\n"},
    };
    for (const Case& c : cases) {
        Scenario(c.scenario);
        size_t before = TraceText().size();
        KEVOBasicData record;
        EXPECT_EQ(c.expected, GetBasic(&record)) << c.scenario;
        EXPECT_TRUE(AllNull(record)) << c.scenario;
        EXPECT_NE(std::string::npos, TraceText().find(c.logged, before)) << c.scenario;
        EXPECT_EQ(kClean, Problems()) << c.scenario;
    }
}

TEST_F(JvmEmu, CertValidAndConfirmCodes)
{
    struct ValidCase {
        const char* scenario;
        int32_t expected, path, response;
    } valid[] = {
        {"certStatus=3\ncertPathStatus=4\nresponseStatus=5", 3, 4, 5},
        {"certStatus=-998\ncertPathStatus=4", -2, 4, 0},   // a status equal to a failure code
        {"throw=-104", -3, 0, 0},
        {"throw=-105", -4, 0, 0},
        {"oom=verifyCert", -2, 0, 0},
    };
    Cert cert("certificate");
    for (const ValidCase& c : valid) {
        Scenario(c.scenario);
        int32_t path = 77, response = 88;
        EXPECT_EQ(c.expected, KEVOCertValid(cert.get(), &path, &response)) << c.scenario;
        EXPECT_EQ(c.path, path) << c.scenario;
        EXPECT_EQ(c.response, response) << c.scenario;
        EXPECT_EQ(kClean, Problems()) << c.scenario;
    }
    struct ConfirmCase {
        const char* scenario;
        int32_t expected;
    } confirm[] = {{"", 200}, {"confirmCode=201", 201}, {"throw=-104", -104},
                   {"throw=-902", -101}, {"oom=confirm", -102}, {"result=wrong", -104}};
    for (const ConfirmCase& c : confirm) {
        Scenario(c.scenario);
        EXPECT_EQ(c.expected, KEVOConfirm(cert.get())) << c.scenario;
        EXPECT_EQ(kClean, Problems()) << c.scenario;
    }
}

// ---- suites of their own processes -------------------------------------------------

class GuardRelease : public JvmEmu {};

// A C++ exception out of the first call (the VM's class-path option cannot
// be built) must not leave the one-call guard taken.
TEST_F(GuardRelease, CallsAfterAFailedVmCreationAreNotBusy)
{
    Scenario("name=二回目");
    KEVOTesting_FailAllocation(1);
    KEVOBasicData record;
    EXPECT_EQ(-104, GetBasic(&record));
    EXPECT_TRUE(AllNull(record));
    EXPECT_NE(std::string::npos, Log().find("KEVOGetBasicData()_Exit_returns -104\n"));

    ASSERT_EQ(0, GetBasic(&record));
    EXPECT_EQ(Utf16("二回目"), Units(record.name));
    KEVOFreeBasicData(&record);
    Cert cert("certificate");
    int32_t path = 1, response = 1;
    EXPECT_EQ(0, KEVOCertValid(cert.get(), &path, &response));
    EXPECT_EQ(200, KEVOConfirm(cert.get()));
    EXPECT_EQ(kClean, Problems());
}

// Runs with KEVO_TRACE=10: entry and exit lines are written, the "Call"
// and "End" lines around JNI calls (level 20) are not.
class FlowLevel : public JvmEmu {};

TEST_F(FlowLevel, JniCallLinesAreErrorLevel)
{
    Scenario("");
    KEVOBasicData record;
    ASSERT_EQ(0, GetBasic(&record));
    KEVOFreeBasicData(&record);
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("KEVOGetBasicData()_Enter\n")) << log;
    EXPECT_NE(std::string::npos, log.find("KEVO_JVMHandler::KEVO_JVM_getBasicData()_Exit_returns 0\n"));
    EXPECT_EQ(0u, Count(log, "Call ")) << log;
    EXPECT_EQ(0u, Count(log, "End ")) << log;
}

// The emulation itself: what it reports when a caller goes wrong, so that
// an empty report above means something.
class EmuSelfCheck : public JvmEmu {};

TEST_F(EmuSelfCheck, TrapsMisuseAndLeaksAreReported)
{
    Scenario("");
    JavaVMInitArgs args = {JNI_VERSION_1_8, 0, NULL, JNI_TRUE};
    JavaVM* vm = NULL;
    JNIEnv* env = NULL;
    ASSERT_EQ(JNI_OK, JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args));
    EXPECT_EQ(JNI_EEXIST, JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args));
    jclass kept = env->FindClass("java/lang/String");   // never deleted
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ(nullptr, env->GetObjectClass(kept));      // no such slot here
    EXPECT_EQ(nullptr, env->FindClass("no/such/Class"));
    EXPECT_TRUE(env->ExceptionCheck());
    EXPECT_EQ(nullptr, env->FindClass("java/lang/String"));   // with the exception pending
    env->ExceptionClear();
    jclass deleted = env->FindClass("java/lang/Object");
    env->DeleteLocalRef(deleted);
    EXPECT_FALSE(env->IsInstanceOf(kept, deleted));
    ASSERT_EQ(JNI_OK, vm->DetachCurrentThread());
    EXPECT_EQ(std::vector<std::string>({"trap env 31 GetObjectClass", "misuse FindClass: exception pending",
                                        "misuse IsInstanceOf: deleted reference", "leaked 1"}),
              Problems());
    void* none = NULL;
    EXPECT_EQ(JNI_EDETACHED, vm->GetEnv(&none, JNI_VERSION_1_8));
}
