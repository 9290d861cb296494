// zqbench: what the library's registry read and a log call cost, measured in
// one run against the raw Win32 calls. Prints times and ratios.
//
//   zqbench [iterations]
//
// Targets: with logging off, zqRegReadDWORDValueExW costs at most 1.10 times
// RegOpenKeyExW + RegQueryValueExW + RegCloseKey; a vxlogLog call whose level
// is off costs at most 50 ns.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "benchclock.h"
#include "vxlog.h"
#include "zqregistry.h"

namespace {

using bench::Compare;
using bench::NsPerCall;
using bench::NsPerCallOnce;
using bench::Pair;

const wchar_t kKey[] = L"Software\\ZqPlatUtilBench";

volatile DWORD g_sink;

void RawRead(int) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  DWORD value = 0, size = sizeof value, type = 0;
  RegQueryValueExW(key, L"Value", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  g_sink = value;
}

void LibraryRead(int) {
  DWORD value = 0;
  zqRegReadDWORDValueExW(HKEY_CURRENT_USER, kKey, L"Value", &value, 0);
  g_sink = value;
}

void LogTo(const wchar_t* file) {
  SetEnvironmentVariableW(L"VXLOG_FILE", file);
  SetEnvironmentVariableW(L"VXLOG_LEVELS", file ? L"all" : nullptr);
  SetEnvironmentVariableW(L"VXLOG_STDERR", nullptr);
  vxlogReconfigure();
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int iterations = bench::Iterations(argc, argv, "zqbench", 1000);

  HKEY key = nullptr;
  DWORD value = 42;
  RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  RegSetValueExW(key, L"Value", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
  RegCloseKey(key);

  wchar_t dir[MAX_PATH], logFile[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"zqb", 0, logFile);

  // Registry read, logging off, then logging every line to a file.
  LogTo(nullptr);
  NsPerCallOnce(iterations / 10 + 1, RawRead);  // warm up
  Pair off = Compare(iterations, RawRead, LibraryRead);
  LogTo(logFile);
  Pair on = Compare(iterations, RawRead, LibraryRead);
  double rawOff = off.first, libOff = off.second, rawOn = on.first, libOn = on.second;

  // One log call, off and on.
  LogTo(nullptr);
  double logOff = NsPerCall(iterations * 300, [](int i) { vxlogLog(L"PLATUTIL", 2, L"bench %d %s", i, L"text"); });
  LogTo(logFile);
  double logOn = NsPerCall(iterations, [](int i) { vxlogLog(L"PLATUTIL", 2, L"bench %d %s", i, L"text"); });
  LogTo(nullptr);

  DeleteFileW(logFile);
  RegDeleteKeyW(HKEY_CURRENT_USER, kKey);

  double ratioOff = libOff / rawOff;
  printf("registry DWORD read, %d calls per round, best of 10 alternating rounds; times per call\n", iterations);
  printf("  logging off : raw %9.0f ns  library %9.0f ns  ratio %.3f (target <= 1.10: %s)\n", rawOff, libOff,
         ratioOff, Verdict(ratioOff <= 1.10));
  printf("  logging file: raw %9.0f ns  library %9.0f ns  ratio %.3f\n", rawOn, libOn, libOn / rawOn);
  printf("vxlogLog, time per call\n");
  printf("  off         : %9.1f ns (target <= 50 ns: %s)\n", logOff, Verdict(logOff <= 50.0));
  printf("  to a file   : %9.1f ns (ratio on/off %.0f)\n", logOn, logOn / logOff);
  return 0;
}
