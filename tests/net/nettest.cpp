#include "nettest.h"

#include <sddl.h>
#include <wtsapi32.h>

#include <memory>

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

namespace {

std::vector<BYTE> TokenUserBlock() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> block(size);
  GetTokenInformation(token, TokenUser, block.data(), size, &size);
  CloseHandle(token);
  return block;
}

}  // namespace

void TokenUserNames(std::wstring* user, std::wstring* domain) {
  std::vector<BYTE> block = TokenUserBlock();
  wchar_t name[256];
  wchar_t domainName[256];
  DWORD nameChars = 256;
  DWORD domainChars = 256;
  SID_NAME_USE use;
  LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid, name, &nameChars, domainName,
                    &domainChars, &use);
  *user = name;
  *domain = domainName;
}

std::wstring TokenUserSidText() {
  std::vector<BYTE> block = TokenUserBlock();
  return SidText(reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid);
}

std::wstring AccountSidText(const std::wstring& account) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  wchar_t domain[256];
  DWORD domainChars = 256;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, account.c_str(), sid, &sidSize, domain, &domainChars, &use)) return L"";
  return SidText(sid);
}

}  // namespace nettest
