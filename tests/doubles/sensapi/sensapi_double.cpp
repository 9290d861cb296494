// Test sensapi.dll: the network's state as the test sets it in its process
// environment. ZQTEST_NETWORK=dead: no live network (FALSE, last error 0);
// anything else: a live LAN.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI IsNetworkAlive(DWORD* flags) {
  wchar_t value[16];
  DWORD length = GetEnvironmentVariableW(L"ZQTEST_NETWORK", value, 16);
  if (length == 4 && lstrcmpW(value, L"dead") == 0) {
    SetLastError(0);
    return FALSE;
  }
  if (flags) *flags = 1;  // NETWORK_ALIVE_LAN
  return TRUE;
}
