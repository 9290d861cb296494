#include "nettest.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstring>

namespace nettest {

std::wstring SessionText(int infoClass) {
  wchar_t* text = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                   static_cast<WTS_INFO_CLASS>(infoClass), &text, &bytes)) {
    return L"<failed>";
  }
  std::wstring result(text);
  WTSFreeMemory(text);
  return result;
}

std::string SessionTextA(int infoClass) {
  char* text = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                   static_cast<WTS_INFO_CLASS>(infoClass), &text, &bytes)) {
    return "<failed>";
  }
  std::string result(text);
  WTSFreeMemory(text);
  return result;
}

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"<invalid>";
  std::wstring result(text);
  LocalFree(text);
  return result;
}

AccountNames ProcessTokenUser() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> block(size);
  GetTokenInformation(token, TokenUser, block.data(), size, &size);
  CloseHandle(token);
  PSID sid = reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid;
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameChars = 256;
  DWORD domainChars = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameChars, domain, &domainChars, &use)) return {};
  return {name, domain, SidText(sid)};
}

namespace {

template <typename Char>
std::string BufferText(const Char* buffer, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && buffer[i] != '#'; ++i) text += buffer[i] ? static_cast<char>(buffer[i]) : '|';
  return text;
}

}  // namespace

Result CallText(WideTextFunction wide, NarrowTextFunction narrow, bool useWide, const char* arg, bool buffer,
                DWORD count) {
  Result result{FALSE, 0, count, ""};
  auto call = [&](auto function, const auto* argument, auto* text) {
    std::fill_n(text, 64, '#');
    SetLastError(kUntouched);
    result.ok = function(argument, buffer ? text : nullptr, &result.count);
    result.error = result.ok ? 0 : GetLastError();
    result.text = BufferText(text, 64);
  };
  wchar_t wideText[64];
  char narrowText[64];
  const std::wstring wideArg = arg ? std::wstring(arg, arg + strlen(arg)) : L"";
  if (useWide) {
    call(wide, arg ? wideArg.c_str() : nullptr, wideText);
  } else {
    call(narrow, arg, narrowText);
  }
  return result;
}

FixedKey::FixedKey(const std::wstring& path, State state) : path_(path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      wchar_t name[256];
      DWORD nameChars = 256;
      DWORD type = 0;
      BYTE data[2048];
      DWORD size = sizeof data;
      if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      saved_.push_back({name, type, std::vector<BYTE>(data, data + size)});
    }
    RegCloseKey(key);
    if (state == kAbsent) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
    }
  } else {
    for (size_t at = 0; createdFrom_.empty();) {
      at = path.find(L'\\', at + 1);
      HKEY prefix = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.substr(0, at).c_str(), 0, KEY_READ, &prefix) == ERROR_SUCCESS) {
        RegCloseKey(prefix);
      } else {
        createdFrom_ = path.substr(0, at);
      }
    }
  }
  if (state == kPresent) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
}

FixedKey::~FixedKey() {
  if (!createdFrom_.empty()) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, createdFrom_.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, createdFrom_.c_str());
    return;
  }
  // The key existed: put back exactly the values it had.
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)) return;
  for (const Value& value : saved_) {
    RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
  }
  RegCloseKey(key);
}

void FixedKey::Set(const std::wstring& name, const std::wstring& value) const {
  EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name.c_str(), REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

std::optional<std::wstring> FixedKey::Get(const std::wstring& name) const {
  wchar_t data[512] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size)) {
    return std::nullopt;
  }
  return std::wstring(data);
}

void FixedKey::Delete(const std::wstring& name) const {
  EXPECT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, path_.c_str(), name.c_str()), ERROR_SUCCESS);
}

}  // namespace nettest
