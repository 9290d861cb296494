// A program that does not import msi.dll: the actions load it for the length
// of a call and release it before they return.
#include <gtest/gtest.h>

#include "zqmsi.h"

TEST(InstallerModule, ReleasedBeforeEachActionReturns) {
  ASSERT_EQ(GetModuleHandleW(L"msi.dll"), nullptr) << "this program must not import msi.dll";
  // No session: the file actions' property read fails, on the path that frees the module too.
  for (auto action : {MSIDeleteResourceFiles, MSIDeleteFile, MSICleanMergedFolders, DetectTSE}) {
    EXPECT_EQ(action(0), action == DetectTSE ? IsTerminalServicesEnabled() : 2u);
    EXPECT_EQ(GetModuleHandleW(L"msi.dll"), nullptr);
  }
}
