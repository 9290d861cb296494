// The parts of the Terminal Services test that tests reach directly.
#pragma once

#include <windows.h>
#include <msi.h>

namespace zq::msi {

inline constexpr wchar_t kTerminalServerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";

// "fDenyTSConnections" under HKLM\<kTerminalServerKey>: 1 when it holds 0,
// 0 when it holds anything else, 0xFFFFFFFF when it is missing or no REG_DWORD.
DWORD TerminalServerRegistryCheck();

// Sets the session's "TSE_ENABLED" to `result` as signed decimal text, when
// "msi.dll" and "MsiSetPropertyW" are there, and returns `result`.
UINT PublishTerminalServices(MSIHANDLE session, DWORD result);

}  // namespace zq::msi
