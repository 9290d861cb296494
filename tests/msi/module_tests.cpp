// A program that does not link msi.dll itself: the actions load it for the
// length of a call and release it before they return.
#include <gtest/gtest.h>

#include "zqmsi.h"

namespace {

bool InstallerLoaded() { return GetModuleHandleW(L"msi.dll") != nullptr; }

TEST(InstallerModule, ReleasedBeforeEachActionReturns) {
  ASSERT_FALSE(InstallerLoaded()) << "this program must not import msi.dll";
  // No session: the property read fails, on the path that frees the module too.
  EXPECT_EQ(MSIDeleteResourceFiles(0), 2u);
  EXPECT_FALSE(InstallerLoaded());
  EXPECT_EQ(MSIDeleteFile(0), 2u);
  EXPECT_FALSE(InstallerLoaded());
  EXPECT_EQ(MSICleanMergedFolders(0), 2u);
  EXPECT_FALSE(InstallerLoaded());
  EXPECT_EQ(DetectTSE(0), IsTerminalServicesEnabled());
  EXPECT_FALSE(InstallerLoaded());
}

}  // namespace
