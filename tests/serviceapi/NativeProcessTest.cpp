// Cases that need a process of their own: another class path, a VM that
// cannot be created, a VM the host created itself, the host's signals, a
// VM that dies. CMakeLists.txt runs each suite in its own process with its
// own environment.
#include <gtest/gtest.h>

#include <jni.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "KEVOServiceAPI.h"
#include "NativeTestSupport.h"

using namespace satest;

// CLASSPATH puts a KEVOConfirmResult without getMessage first.
TEST(NoGetMessage, ConfirmFailsAlthoughTheMethodIsNeverCalled)
{
    std::string before = TraceText();
    EXPECT_EQ(-104, KEVOConfirm(Cert("code=200").get()));
    std::string log = TraceText().substr(before.size());
    EXPECT_NE(std::string::npos, log.find("Unexpected Errors\n")) << log;
    // The other exports do not need the method.
    KEVOBasicData record = JunkRecord();
    EXPECT_EQ(0, KEVOGetBasicData(Cert("name=a").get(), &record));
    KEVOFreeBasicData(&record);
}

// CLASSPATH names a directory without the service classes.
TEST(MissingClasses, EveryVmCallFailsAsUnexpected)
{
    KEVOBasicData record = JunkRecord();
    EXPECT_EQ(-104, KEVOGetBasicData(Cert("x").get(), &record));
    EXPECT_TRUE(AllNull(record));
    int32_t path = 1, response = 2;
    EXPECT_EQ(-4, KEVOCertValid(Cert("x").get(), &path, &response));
    EXPECT_EQ(-104, KEVOConfirm(Cert("x").get()));
    std::string log = TraceText();
    EXPECT_NE(std::string::npos, log.find("Exception Occurred\n")) << log;
}

// No CLASSPATH: the VM gets no option and uses its default class path, the
// current directory, which CMakeLists.txt sets to the stand-ins' classes.
TEST(DefaultClassPath, NoOptionWithoutClasspath)
{
    ASSERT_EQ(nullptr, getenv("CLASSPATH"));
    KEVOBasicData record = JunkRecord();
    EXPECT_EQ(0, KEVOGetBasicData(Cert("name=既定").get(), &record));
    EXPECT_EQ(Utf16("既定"), Units(record.name));
    KEVOFreeBasicData(&record);
}

// JAVA_TOOL_OPTIONS carries an option the VM refuses.
TEST(VmRefused, ExportsReturnTheirCodesAndLeaveOutputsAlone)
{
    KEVOBasicData record = JunkRecord();
    EXPECT_EQ(-104, KEVOGetBasicData(Cert("x").get(), &record));
    EXPECT_TRUE(AllNull(record));
    int32_t path = 55, response = 66;
    EXPECT_EQ(-4, KEVOCertValid(Cert("x").get(), &path, &response));
    EXPECT_EQ(55, path);
    EXPECT_EQ(66, response);
    EXPECT_EQ(-104, KEVOConfirm(Cert("x").get()));
    // Every call tries again, and stops at the VM.
    std::string log = TraceText();
    EXPECT_EQ(3u, Count(log, "Error JNI_CreateJavaVM returns -901\n")) << log;
    EXPECT_EQ(0u, Count(log, "Call FindClass"));
}

// The host made the VM (with a small heap) before the first call; the
// library uses it and its thread as they are.
class HostVm : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string classPath = std::string("-Djava.class.path=") + getenv("KEVO_TEST_CLASSES");
        JavaVMOption options[2];
        options[0].optionString = const_cast<char*>(classPath.c_str());
        options[1].optionString = const_cast<char*>("-Xmx48m");
        JavaVMInitArgs args = {};
        args.version = JNI_VERSION_1_8;
        args.nOptions = 2;
        args.options = options;
        void* env = NULL;
        ASSERT_EQ(JNI_OK, JNI_CreateJavaVM(&vm_, &env, &args));
    }
    static JavaVM* vm_;
};
JavaVM* HostVm::vm_ = NULL;

TEST_F(HostVm, ThousandCallsLeakNoLocalReferences)
{
    // Each call's service holds two copies of a 256 KiB certificate: kept
    // alive by leaked local references, 1000 calls would need 500 MiB.
    std::string scenario = "name=大量\n" + std::string(256 * 1024, 'x');
    Cert cert(scenario);
    for (int i = 0; i < 1000; ++i) {
        KEVOBasicData record = JunkRecord();
        int32_t rc = KEVOGetBasicData(cert.get(), &record);
        ASSERT_EQ(0, rc) << "call " << i;
        KEVOFreeBasicData(&record);
    }
    // The host's thread stays attached.
    void* env = NULL;
    EXPECT_EQ(JNI_OK, vm_->GetEnv(&env, JNI_VERSION_1_4));
}

TEST_F(HostVm, OtherThreadIsAttachedForTheCallOnly)
{
    jint after = JNI_OK;
    int32_t rc = 1;
    std::thread worker([&] {
        rc = KEVOConfirm(Cert("code=201").get());
        void* env = NULL;
        after = vm_->GetEnv(&env, JNI_VERSION_1_4);
    });
    worker.join();
    EXPECT_EQ(201, rc);
    EXPECT_EQ(JNI_EDETACHED, after);
}

// The host's handlers of the termination signals still run after a call:
// the VM installed none of its own (which would end the process with 143).
namespace {
volatile sig_atomic_t g_caught[NSIG];
void Catch(int signal) { g_caught[signal] = 1; }
}  // namespace

TEST(HostSignals, HostHandlersRunAfterACall)
{
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction action = {};
    action.sa_handler = Catch;
    sigemptyset(&action.sa_mask);
    for (int s : signals)
        ASSERT_EQ(0, sigaction(s, &action, NULL));
    KEVOBasicData record = JunkRecord();
    ASSERT_EQ(0, KEVOGetBasicData(Cert("name=a").get(), &record));
    KEVOFreeBasicData(&record);
    for (int s : signals) {
        ASSERT_EQ(0, kill(getpid(), s));
        // Any thread that does not block the signal may take it.
        for (int waited = 0; !g_caught[s] && waited < 5000; waited += 10)
            usleep(10000);
        EXPECT_EQ(1, g_caught[s]) << strsignal(s);
    }
}

// A fatal error of the VM (a caller's length larger than its buffer, which
// ends in a page the process may not read) leaves its report in the
// temporary folder, not in the host's current folder. A child process
// makes the VM and dies; the folder's '%' must reach the VM unexpanded.
TEST(FatalError, ReportGoesToTheTemporaryFolder)
{
    std::string temp = std::string(getenv("TMPDIR")) + "/100%p";
    std::string host = std::string(getenv("TMPDIR")) + "/host";
    ASSERT_EQ(0, mkdir(temp.c_str(), 0700));
    ASSERT_EQ(0, mkdir(host.c_str(), 0700));
    long page = sysconf(_SC_PAGESIZE);
    void* pages = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, pages);
    ASSERT_EQ(0, mprotect(static_cast<char*>(pages) + page, page, PROT_NONE));
    pid_t child = fork();
    if (child == 0) {
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        setenv("TMPDIR", temp.c_str(), 1);
        if (chdir(host.c_str()) != 0)
            _exit(2);
        KEVOBinaryData cert = {static_cast<uint32_t>(2 * page), static_cast<unsigned char*>(pages)};
        KEVOBasicData record = JunkRecord();
        KEVOGetBasicData(&cert, &record);
        _exit(3);
    }
    ASSERT_LT(0, child);
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; waited += 50) {
        if (waited >= 120000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the child did not end";
        }
        usleep(50000);
    }
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "the VM survived the fault";
    std::string report = "/hs_err_pid" + std::to_string(child) + ".log";
    EXPECT_EQ(0, access((temp + report).c_str(), R_OK)) << temp + report;
    EXPECT_NE(0, access((host + report).c_str(), F_OK)) << host + report;
}
