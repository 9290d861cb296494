// The current session's user and domain, and the process token's user.
#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>

#include <string>

#include "netinternal.h"
#include "nettext.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

// The wide and narrow session queries.
template <typename Char>
struct Session;

template <>
struct Session<wchar_t> {
  static constexpr const wchar_t* kEntry = L"GetCurrentUserAndDomain";
  static BOOL Query(WTS_INFO_CLASS info, wchar_t** text, DWORD* bytes) {
    return WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, info, text, bytes);
  }
};

template <>
struct Session<char> {
  static constexpr const wchar_t* kEntry = L"GetCurrentUserAndDomain std::string";
  static BOOL Query(WTS_INFO_CLASS info, char** text, DWORD* bytes) {
    return WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, info, text, bytes);
  }
};

template <typename Char>
int GetSessionUserAndDomain(std::basic_string<Char>& user, std::basic_string<Char>& domain) {
  log::Line(log::kEntry, Session<Char>::kEntry);
  log::Line(log::kDetail, L"GetCurrentUserAndDomain Retrieve username and domain");

  UniqueWtsBuffer<Char> text;
  DWORD bytes = 0;
  if (!Session<Char>::Query(WTSUserName, text.put(), &bytes)) {
    DWORD status = GetLastError();
    log::Line(log::kExit, L"GetCurrentUserAndDomain Unable to get the username (%d)", status);
    return static_cast<int>(status);
  }
  user.assign(text.get());
  text.reset();

  if (!Session<Char>::Query(WTSDomainName, text.put(), &bytes)) {
    DWORD status = GetLastError();
    log::Line(log::kError, L"GetCurrentUserAndDomain Unable to get the domain name (%d)", status);
    return static_cast<int>(status);
  }
  domain.assign(text.get());
  text.reset();

  log::Bytes(log::kDetail, domain.c_str(), CountOf(domain.size() * sizeof(Char)), L"GetCurrentUserAndDomain Domain");
  log::Line(log::kExit, L"GetCurrentUserAndDomain (%d)", 0);
  return 0;
}

// The buffer functions over the string overloads; `name` leads every line.
template <typename Char>
DWORD CopySessionUserAndDomain(const wchar_t* name, Char* pszUser, DWORD* pcchUser, Char* pszDomain,
                               DWORD* pcchDomain) {
  log::Operation op(name, L"%s (%p,%p,%p)", name, pcchUser, pszDomain, pcchDomain);
  if (!pcchUser || !pcchDomain) {
    log::Line(log::kError, L"%s invalid parameter", name);
    return op.Exit<DWORD>(ERROR_INVALID_PARAMETER, L"%s (%d)");
  }

  std::basic_string<Char> user;
  std::basic_string<Char> domain;
  int status = zqNetGetCurrentUserAndDomain(user, domain);
  if (status != 0) return op.Exit<DWORD>(static_cast<DWORD>(status), L"%s (%d)");

  DWORD userNeeded = CountOf(user.size() + 1);
  DWORD domainNeeded = CountOf(domain.size() + 1);
  if (pszUser && *pcchUser <= user.size()) {
    log::Line(log::kError, L"%s Insufficient buffer for user's name (%d < %d)", name, *pcchUser, userNeeded);
    *pcchUser = userNeeded;
    *pcchDomain = domainNeeded;
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszUser) CopyWithTerminator(pszUser, user);
  *pcchUser = userNeeded;

  if (pszDomain && *pcchDomain <= domain.size()) {
    log::Line(log::kError, L"%s Insufficient buffer for user's account domain (%d < %d)", name, *pcchDomain,
              domainNeeded);
    *pcchDomain = domainNeeded;
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszDomain) CopyWithTerminator(pszDomain, domain);
  *pcchDomain = domainNeeded;
  return op.Exit<DWORD>(ERROR_SUCCESS, L"%s (%d)");
}

constexpr const wchar_t kProcessUser[] = L"zqNetGetCurrentProcessUserAndDomainW";

// Copies one counted LSA name when the buffer holds it and its terminator.
bool FitsLsaName(const LSA_UNICODE_STRING& text, const wchar_t* buffer, DWORD capacity) {
  return buffer && capacity > text.Length / sizeof(wchar_t);
}
void CopyLsaName(const LSA_UNICODE_STRING& text, wchar_t* buffer, DWORD* count) {
  size_t length = text.Length / sizeof(wchar_t);
  std::memcpy(buffer, text.Buffer, length * sizeof(wchar_t));
  buffer[length] = L'\0';
  *count = CountOf(length + 1);
}

DWORD LookupProcessUser(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain, DWORD* pcchDomain) {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    DWORD status = GetLastError();
    log::Line(log::kError, L"%s OpenProcessToken failed (%d)", kProcessUser, status);
    return status;
  }

  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size)) {
    DWORD status = GetLastError();
    if (status != ERROR_INSUFFICIENT_BUFFER) {
      log::Line(log::kError, L"%s unexpected error while retrieving TOKEN_USER buffer size (%d)", kProcessUser,
                status);
      return status;
    }
  }
  UniqueHeap<TOKEN_USER> tokenUser(
      static_cast<TOKEN_USER*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)));
  if (!tokenUser) {
    log::Line(log::kError, L"%s can't allocate memory for TOKEN_USER structure", kProcessUser);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (!GetTokenInformation(token.get(), TokenUser, tokenUser.get(), size, &size)) {
    DWORD status = GetLastError();
    log::Line(log::kError, L"%s Can't retrieve TokenUser information (%d)", kProcessUser, status);
    return status;
  }

  LSA_OBJECT_ATTRIBUTES attributes = {};
  UniqueLsaPolicy policy;
  DWORD status = LsaNtStatusToWinError(LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, policy.put()));
  if (status != ERROR_SUCCESS) {
    log::Line(log::kError, L"%s Can't open policy (%d)", kProcessUser, status);
    return status;
  }

  UniqueLsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
  UniqueLsaBuffer<LSA_TRANSLATED_NAME> names;
  PSID sid = tokenUser.get()->User.Sid;
  status = LsaNtStatusToWinError(LsaLookupSids(policy.get(), 1, &sid, domains.put(), names.put()));
  if (status != ERROR_SUCCESS) {
    log::Line(log::kError, L"%s LsaLookupSids failed (%d)", kProcessUser, status);
    return status;
  }

  const LSA_UNICODE_STRING& userName = names.get()[0].Name;
  LSA_UNICODE_STRING domainName = {};
  if (domains && domains.get()->Entries > 0) {
    domainName = domains.get()->Domains[0].Name;
  }
  // Both names fit, or neither is copied: the counts then say what is needed.
  if (!FitsLsaName(userName, pszUser, *pcchUser) || !FitsLsaName(domainName, pszDomain, *pcchDomain)) {
    DWORD userNeeded = CountOf(userName.Length / sizeof(wchar_t) + 1);
    DWORD domainNeeded = CountOf(domainName.Length / sizeof(wchar_t) + 1);
    log::Line(log::kError, L"%s Insufficient buffer (%d < %d, %d < %d)", kProcessUser, pszUser ? *pcchUser : 0,
              userNeeded, pszDomain ? *pcchDomain : 0, domainNeeded);
    *pcchUser = userNeeded;
    *pcchDomain = domainNeeded;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  CopyLsaName(userName, pszUser, pcchUser);
  CopyLsaName(domainName, pszDomain, pcchDomain);
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace zq::net

using namespace zq;
using namespace zq::net;

int zqNetGetCurrentUserAndDomain(std::wstring& user, std::wstring& domain) {
  return GetSessionUserAndDomain(user, domain);
}

int zqNetGetCurrentUserAndDomain(std::string& user, std::string& domain) {
  return GetSessionUserAndDomain(user, domain);
}

extern "C" DWORD zqNetGetCurrentUserAndDomainW(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                               DWORD* pcchDomain) {
  return CopySessionUserAndDomain(L"zqNetGetCurrentUserAndDomainW", pszUser, pcchUser, pszDomain, pcchDomain);
}

extern "C" DWORD zqNetGetCurrentUserAndDomainA(char* pszUser, DWORD* pcchUser, char* pszDomain, DWORD* pcchDomain) {
  return CopySessionUserAndDomain(L"zqNetGetCurrentUserAndDomainA", pszUser, pcchUser, pszDomain, pcchDomain);
}

extern "C" DWORD zqNetGetCurrentProcessUserAndDomainW(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                                      DWORD* pcchDomain) {
  log::Operation op(kProcessUser, L"%s (%p,%p,%p)", kProcessUser, pcchUser, pszDomain, pcchDomain);
  if (!pcchUser || !pcchDomain) {
    log::Line(log::kError, L"%s invalid parameter", kProcessUser);
    return op.Exit<DWORD>(ERROR_INVALID_PARAMETER, L"%s (%d)");
  }
  // Every handle and buffer is released inside, before the exit line.
  DWORD status = LookupProcessUser(pszUser, pcchUser, pszDomain, pcchDomain);
  return op.Exit<DWORD>(status, L"%s (%d)");
}
