// A host that unloads the library: before any VM exists the library goes
// away as usual; once a VM runs, it and libjvm stay mapped, and a reload
// finds the same VM.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "KEVOServiceAPI.h"

namespace {

bool Loaded(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == NULL)
        return false;
    dlclose(handle);
    return true;
}

int32_t ConfirmThroughFreshLoad(const char* path, bool* loaded)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    *loaded = handle != NULL;
    if (handle == NULL)
        return 1;
    PFN_KEVOConfirm confirm = reinterpret_cast<PFN_KEVOConfirm>(dlsym(handle, "KEVOConfirm"));
    unsigned char bytes[] = "code=200";
    KEVOBinaryData cert = {8, bytes};
    int32_t rc = confirm != NULL ? confirm(&cert) : 1;
    dlclose(handle);
    return rc;
}

}  // namespace

TEST(Pinning, LibraryStaysOnceTheVmRuns)
{
    const char* path = KEVO_SERVICEAPI_SO;
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    PFN_KEVOFreeBasicData freeData = reinterpret_cast<PFN_KEVOFreeBasicData>(dlsym(handle, "KEVOFreeBasicData"));
    ASSERT_NE(nullptr, freeData);
    EXPECT_EQ(-101, freeData(NULL));
    dlclose(handle);
    EXPECT_FALSE(Loaded(path)) << "no VM yet: the library unloads";

    bool loaded = false;
    EXPECT_EQ(200, ConfirmThroughFreshLoad(path, &loaded));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(Loaded(path)) << "the VM runs: the library stays";
    EXPECT_TRUE(Loaded("libjvm.so"));
    // Loading it again works with the same VM.
    EXPECT_EQ(200, ConfirmThroughFreshLoad(path, &loaded));
}
