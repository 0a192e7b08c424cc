// Cases that need a process of their own: another class path, a VM that
// cannot be created, a VM the host created itself. CMakeLists.txt runs each
// suite in its own process with its own environment.
#include <gtest/gtest.h>

#include <jni.h>
#include <stdlib.h>

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
