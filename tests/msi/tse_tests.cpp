// Terminal Services detection against Wine's registry and a real session.
#include <gtest/gtest.h>

#include <cstring>

#include "handles.h"
#include "logcapture.h"
#include "msitestkit.h"
#include "tse.h"
#include "zqmsi.h"

using zqmsitest::InstallerSession;
using zqmsitest::SavedValue;

namespace {

// What the system says about the Terminal suite (Wine: no suite).
bool SystemHasTerminalSuite() {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.wSuiteMask = VER_SUITE_TERMINAL;
  return VerifyVersionInfoA(&version, VER_SUITENAME, VerSetConditionMask(0, VER_SUITENAME, VER_AND));
}

TEST(TerminalServices, RegistryCheckReadsOnlyADword) {
  SavedValue deny(HKEY_LOCAL_MACHINE, zq::msi::kTerminalServerKey, L"fDenyTSConnections");
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();

  deny.Delete();
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0xFFFFFFFFu) << "value missing";
  deny.SetDword(0);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 1u);
  deny.SetDword(1);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0u);
  deny.SetDword(2);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0u);
  deny.Set(REG_SZ, L"0", 4);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0xFFFFFFFFu) << "REG_SZ";
  DWORD zero = 0;
  deny.Set(REG_BINARY, &zero, sizeof zero);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0xFFFFFFFFu) << "REG_BINARY";
  ULONGLONG wide = 0;
  deny.Set(REG_QWORD, &wide, sizeof wide);
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0xFFFFFFFFu) << "REG_QWORD";

  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(TerminalServices, RegistryCheckWithoutTheKey) {
  HKEY probe = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, zq::msi::kTerminalServerKey, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "this prefix has the Terminal Server key";
  }
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), 0xFFFFFFFFu);
}

// Wine reports no Terminal suite: 0, whatever the registry holds.
TEST(TerminalServices, WithoutTheSuiteTheRegistryIsNotRead) {
  ASSERT_FALSE(SystemHasTerminalSuite()) << "this system reports the Terminal suite";
  SavedValue deny(HKEY_LOCAL_MACHINE, zq::msi::kTerminalServerKey, L"fDenyTSConnections");
  InstallerSession session;
  zqtest::LogCapture log;

  for (DWORD setting : {0u, 1u}) {
    deny.SetDword(setting);
    EXPECT_EQ(IsTerminalServicesEnabled(), 0u) << setting;
    session.SetProperty(L"TSE_ENABLED", L"unset");
    EXPECT_EQ(DetectTSE(session.Handle()), 0u) << setting;
    EXPECT_EQ(session.Property(L"TSE_ENABLED"), L"0") << setting;
  }
  deny.Delete();
  EXPECT_EQ(IsTerminalServicesEnabled(), 0u);
  EXPECT_TRUE(log.Lines().empty());
}

// The action's result is the detection result itself, and the property its
// signed decimal text.
TEST(TerminalServices, PublishedAsSignedDecimalText) {
  InstallerSession session;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  const struct {
    DWORD result;
    const wchar_t* text;
  } cases[] = {{ZQ_TSE_ENABLED, L"1"}, {ZQ_TSE_DISABLED, L"0"}, {ZQ_TSE_UNKNOWN, L"-1"}};
  for (const auto& c : cases) {
    session.SetProperty(L"TSE_ENABLED", L"unset");
    EXPECT_EQ(zq::msi::PublishTerminalServices(session.Handle(), c.result), c.result);
    EXPECT_EQ(session.Property(L"TSE_ENABLED"), c.text);
  }
  // No session: the result all the same.
  EXPECT_EQ(zq::msi::PublishTerminalServices(0, ZQ_TSE_UNKNOWN), ZQ_TSE_UNKNOWN);
  EXPECT_EQ(DetectTSE(0), IsTerminalServicesEnabled());
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

}  // namespace
