// The registry test seam: a named call fails on request.
#include "support/registry_fixture.h"

namespace trellan::test {
namespace {

using RegistrySeamTest = MemoryRegistryTest;

TEST_F(RegistrySeamTest, NamedCallFailsAfterSkippedCallsForTheCount)
{
    PlatformSeam_FailRegistryCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, 1, 2);
    const LONG expected[] = {ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS};
    for (LONG result : expected)
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, "Seam"), result);
    // Other functions are not touched.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Seam"));

    PlatformSeam_FailRegistryCall("RegOpenKeyExW", ERROR_BUSY, 0, 5);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Seam"));
    PlatformSeam_ClearRegistryFailures();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Seam"));
}

TEST_F(RegistrySeamTest, FailedCloseStillLetsTheHandleGo)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(PlatformRegistry_OpenHandleCount(), 1);
    PlatformSeam_FailRegistryCall("RegCloseKey", ERROR_INVALID_HANDLE, 0, 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(PlatformRegistry_OpenHandleCount(), 0);
}

}  // namespace
}  // namespace trellan::test
