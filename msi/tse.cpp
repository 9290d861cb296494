// Terminal Services detection and its installer action.
#include "tse.h"

#include <cwchar>

#include "msisession.h"
#include "zqmsi.h"

namespace zq::msi {
namespace {

// Whether the system reports the Terminal suite.
BOOL HasTerminalSuite() {
  ULONGLONG mask = VerSetConditionMask(0, VER_SUITENAME, VER_AND);
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.wSuiteMask = VER_SUITE_TERMINAL;
  return VerifyVersionInfoA(&version, VER_SUITENAME, mask);
}

}  // namespace

DWORD TerminalServerRegistryCheck() {
  zq::UniqueKey key;
  if (RegOpenKeyW(HKEY_LOCAL_MACHINE, kTerminalServerKey, key.put()) != ERROR_SUCCESS) return ZQ_TSE_UNKNOWN;

  DWORD type = 0;
  DWORD size = 520;
  auto query = [&](void* data) {
    return RegQueryValueExW(key.get(), L"fDenyTSConnections", nullptr, &type, static_cast<BYTE*>(data), &size);
  };
  // Type and size first: only a REG_DWORD is read into the number.
  if (query(nullptr) != ERROR_SUCCESS || type != REG_DWORD) return ZQ_TSE_UNKNOWN;
  // The size comes from the first query, but never beyond the variable: a
  // REG_DWORD stored with more than 4 bytes answers ERROR_MORE_DATA (unknown).
  DWORD deny = 0;
  if (size > sizeof deny) size = sizeof deny;
  if (query(&deny) != ERROR_SUCCESS) return ZQ_TSE_UNKNOWN;
  return deny == 0 ? ZQ_TSE_ENABLED : ZQ_TSE_DISABLED;
}

UINT PublishTerminalServices(MSIHANDLE session, DWORD result) {
  wchar_t text[64] = {};
  _snwprintf(text, 63, L"%d", static_cast<int>(result));

  UniqueModule installer = LoadModule(L"msi.dll");
  if (!installer) return result;
  if (auto setProperty = ProcAs<MsiSetPropertyFn>(installer.get(), "MsiSetPropertyW")) {
    setProperty(session, L"TSE_ENABLED", text);
  }
  return result;
}

}  // namespace zq::msi

DWORD WINAPI IsTerminalServicesEnabled(void) {
  BOOL suite = zq::msi::HasTerminalSuite();
  if (suite != TRUE) return static_cast<DWORD>(suite);
  return zq::msi::TerminalServerRegistryCheck();
}

UINT WINAPI DetectTSE(MSIHANDLE hInstall) {
  return zq::msi::PublishTerminalServices(hInstall, IsTerminalServicesEnabled());
}
