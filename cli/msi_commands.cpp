// "tse": the library's Terminal Services answer and the registry value behind it.
#include <zqmsi.h>
#include <zqregistry.h>

#include "cli.h"

namespace cli {
namespace {

const wchar_t kTerminalServerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";

std::wstring Meaning(DWORD result) {
  switch (result) {
    case ZQ_TSE_ENABLED:
      return L"1 (enabled)";
    case ZQ_TSE_DISABLED:
      return L"0 (not enabled, or the system reports no Terminal suite)";
    case ZQ_TSE_UNKNOWN:
      return L"-1 (the setting cannot be read)";
    default:
      return std::to_wstring(result);
  }
}

// What HKLM\...\Terminal Server holds in "fDenyTSConnections", read through the library.
std::wstring DenySetting() {
  DWORD type = 0;
  DWORD size = 0;
  int status = zqRegReadValueEx(HKEY_LOCAL_MACHINE, kTerminalServerKey, L"fDenyTSConnections", &type, nullptr,
                                &size, ZQ_REG_SECTION_DEFAULT);
  if (status != ZQ_REG_OK) return L"not set (status " + std::to_wstring(status) + L", the value or its key is missing)";
  if (type != REG_DWORD) return TypeName(type) + L", not a DWORD";
  DWORD deny = 0;
  status = zqRegReadDWORDValueExW(HKEY_LOCAL_MACHINE, kTerminalServerKey, L"fDenyTSConnections", &deny,
                                  ZQ_REG_SECTION_DEFAULT);
  if (status != ZQ_REG_OK) return L"unreadable (status " + std::to_wstring(status) + L", a system call failed)";
  return L"REG_DWORD " + std::to_wstring(deny) + (deny == 0 ? L" (connections allowed)" : L" (connections denied)");
}

int RunTse(Args args) {
  if (int usage = NoArguments(args, L"tse")) return usage;
  Out(L"IsTerminalServicesEnabled: " + Meaning(IsTerminalServicesEnabled()));
  Out(std::wstring(L"HKLM\\") + kTerminalServerKey + L" fDenyTSConnections: " + DenySetting());
  return kExitOk;
}

const wchar_t kTseHelp[] =
    L"Installer:\n"
    L"  tse\n"
    L"      Print whether Terminal Services are enabled (1, 0 or -1, the value\n"
    L"      DetectTSE gives \"TSE_ENABLED\") and what fDenyTSConnections holds.";

const Registration kTse{{L"tse", kTseHelp, RunTse}};

}  // namespace

}  // namespace cli
