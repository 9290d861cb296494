// Terminal Services detection against Wine's registry and a real session.
#include <gtest/gtest.h>

#include "handles.h"
#include "logcapture.h"
#include "msitestkit.h"
#include "tse.h"
#include "zqmsi.h"

using zqmsitest::InstallerSession;
using zqmsitest::SavedValue;

namespace {

TEST(TerminalServices, RegistryCheckReadsOnlyADword) {
  SavedValue deny(HKEY_LOCAL_MACHINE, zq::msi::kTerminalServerKey, L"fDenyTSConnections");
  zqtest::LogCapture log;
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  deny.Delete();
  EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), ZQ_TSE_UNKNOWN) << "value missing";
  const BYTE zero[64] = {};
  const struct {
    DWORD type, size;
    const void* data;
    DWORD result;
  } cases[] = {{REG_DWORD, 4, "\0\0\0\0", ZQ_TSE_ENABLED},  {REG_DWORD, 4, "\1\0\0\0", ZQ_TSE_DISABLED},
               {REG_DWORD, 4, "\2\0\0\0", ZQ_TSE_DISABLED}, {REG_SZ, 4, L"0", ZQ_TSE_UNKNOWN},
               {REG_BINARY, 4, zero, ZQ_TSE_UNKNOWN},       {REG_QWORD, 8, zero, ZQ_TSE_UNKNOWN},
               {REG_DWORD, 8, zero, ZQ_TSE_UNKNOWN},        {REG_DWORD, 64, zero, ZQ_TSE_UNKNOWN}};  // oversized
  for (const auto& c : cases) {
    deny.Set(c.type, c.data, c.size);
    EXPECT_EQ(zq::msi::TerminalServerRegistryCheck(), c.result) << "type " << c.type;
  }
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  EXPECT_TRUE(log.Lines().empty());
}

// Wine reports no Terminal suite: 0, whatever the registry holds.
TEST(TerminalServices, WithoutTheSuiteTheRegistryIsNotRead) {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.wSuiteMask = VER_SUITE_TERMINAL;
  ASSERT_FALSE(VerifyVersionInfoA(&version, VER_SUITENAME, VerSetConditionMask(0, VER_SUITENAME, VER_AND)))
      << "this system reports the Terminal suite";
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

// The action's result is the detection result itself, the property its signed
// decimal text.
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
  EXPECT_EQ(zq::msi::PublishTerminalServices(0, ZQ_TSE_UNKNOWN), ZQ_TSE_UNKNOWN);  // no session
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
}

}  // namespace
