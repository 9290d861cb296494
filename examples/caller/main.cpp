// zqcaller: reads a registry value, looks up the current user's SID, converts
// an ISO 8601 time, keeps a secret in a CSecStr and asks whether toasts can
// work, all through zqplatutilu.dll, then reads and compares again through the
// header-only C++17 layer. Prints one line per step; exits with 1 when a step
// fails.
#include <windows.h>

#include <zqmfc.h>
#include <zqnet.h>
#include <zqplatutil.hpp>
#include <zqregistry.h>
#include <zqsecstr.h>
#include <zqsys.h>
#include <zqtoast.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string out(static_cast<size_t>(bytes - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  return out;
}

int failures = 0;

void Fail(const char* step, unsigned long status) {
  std::printf("%s failed: %lu\n", step, status);
  ++failures;
}

const wchar_t kCurrentVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";

// A REG_SZ value: a size query first, then the read (sizes are in bytes).
void ReadWindowsVersion() {
  DWORD bytes = 0;
  int status = zqRegReadStringValueExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentVersion", nullptr, &bytes,
                                       ZQ_REG_SECTION_DEFAULT);
  if (status != ZQ_REG_OK) return Fail("zqRegReadStringValueExW (size)", static_cast<unsigned long>(status));
  // The stored bytes come back as they are: room for a terminator of our own.
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
  status = zqRegReadStringValueExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentVersion", text.data(), &bytes,
                                   ZQ_REG_SECTION_DEFAULT);
  if (status != ZQ_REG_OK) return Fail("zqRegReadStringValueExW", static_cast<unsigned long>(status));
  std::printf("CurrentVersion: %s\n", Utf8(text.data()).c_str());
}

// The session's user, its SID from the library (a calloc block), as text.
void PrintUserSid() {
  wchar_t user[256] = L"";
  wchar_t domain[256] = L"";
  DWORD userCount = 256;
  DWORD domainCount = 256;
  DWORD status = zqNetGetCurrentUserAndDomainW(user, &userCount, domain, &domainCount);
  if (status != ERROR_SUCCESS) return Fail("zqNetGetCurrentUserAndDomainW", status);
  std::printf("user: %s\\%s\n", Utf8(domain).c_str(), Utf8(user).c_str());

  void* sid = nullptr;
  status = zqSysGetUserSIDW(user, domain, &sid);
  if (status != ERROR_SUCCESS || sid == nullptr) {
    std::free(sid);
    return Fail("zqSysGetUserSIDW", status);
  }
  wchar_t text[256] = L"";
  DWORD textBytes = sizeof text;
  BOOL converted = zqSysConvertSIDW(sid, text, &textBytes);
  DWORD error = GetLastError();
  std::free(sid);
  if (!converted) return Fail("zqSysConvertSIDW", error);
  std::printf("SID: %s\n", Utf8(text).c_str());
}

// ISO 8601 text with an offset to a file time, and back to UTC text.
void ConvertTime() {
  const wchar_t* input = L"2020-06-01T12:00:00+02:00";
  LARGE_INTEGER fileTime{};
  DWORD status = zqSysISO8601ToLargeInteger(input, &fileTime);
  if (status != ERROR_SUCCESS) return Fail("zqSysISO8601ToLargeInteger", status);
  wchar_t text[21] = L"";
  DWORD count = 21;
  status = zqSysLargeIntegerToISO8601(&fileTime, text, &count);
  if (status != ERROR_SUCCESS) return Fail("zqSysLargeIntegerToISO8601", status);
  std::printf("%s = file time %lld = %s\n", Utf8(input).c_str(), static_cast<long long>(fileTime.QuadPart),
              Utf8(text).c_str());
}

// A secret in a wiping string; its MFC exceptions arrive as CException*.
void KeepSecret() {
  try {
    CSecStr secret(L"correct horse");
    secret += L" battery";
    std::printf("secret length: %d\n", secret.GetLength());
  } catch (CException* e) {
    e->Delete();
    Fail("CSecStr", 0);
  }
}

// The toast entry points are C++ exports in ZQ::Framework.
void AskForToasts() {
  std::printf("toasts: %s\n", ZQ::Framework::zqIsWinRTSupported() ? "supported" : "not supported (before Windows 8)");
}

// The same reads through zqplatutil.hpp: values or statuses, no out-parameters.
void WithTheCppLayer() {
  auto version = zq::cpp::RegReadString(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentVersion");
  if (!version) return Fail("zq::cpp::RegReadString", static_cast<unsigned long>(version.status()));
  auto order = zq::cpp::CompareISO8601(L"2020-06-01T12:00:00+02:00", L"2020-06-01T10:00:00Z");
  if (!order) return Fail("zq::cpp::CompareISO8601", order.status());
  std::printf("C++ layer: CurrentVersion %s, the two times compare as %d\n", Utf8(version.value().c_str()).c_str(),
              order.value());
}

}  // namespace

int main() {
  ReadWindowsVersion();
  PrintUserSid();
  ConvertTime();
  KeepSecret();
  AskForToasts();
  WithTheCppLayer();
  return failures == 0 ? 0 : 1;
}
