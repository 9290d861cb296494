// The current session's user and domain, and the process token's user.
#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>

#include <string>

#include "netinternal.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

// The entry line of each string overload.
template <typename Char>
constexpr const wchar_t* kSessionEntry =
    sizeof(Char) == 1 ? L"GetCurrentUserAndDomain std::string" : L"GetCurrentUserAndDomain";

// One text of the session; its buffer is freed before the next query.
template <typename Char>
DWORD QuerySession(WTS_INFO_CLASS info, std::basic_string<Char>& out) {
  UniqueWtsBuffer<Char> text;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationT(info, text.put(), &bytes)) return GetLastError();
  out.assign(text.get());
  return ERROR_SUCCESS;
}

template <typename Char>
int GetSessionUserAndDomain(std::basic_string<Char>& user, std::basic_string<Char>& domain) {
  log::Line(log::kEntry, kSessionEntry<Char>);
  log::Line(log::kDetail, L"GetCurrentUserAndDomain Retrieve username and domain");
  if (DWORD status = QuerySession(WTSUserName, user)) {
    log::Line(log::kExit, L"GetCurrentUserAndDomain Unable to get the username (%d)", status);
    return static_cast<int>(status);
  }
  if (DWORD status = QuerySession(WTSDomainName, domain)) {
    log::Line(log::kError, L"GetCurrentUserAndDomain Unable to get the domain name (%d)", status);
    return static_cast<int>(status);
  }
  log::Bytes(log::kDetail, domain.c_str(), CountOf(domain.size() * sizeof(Char)), L"GetCurrentUserAndDomain Domain");
  log::Line(log::kExit, L"GetCurrentUserAndDomain (%d)", 0);
  return 0;
}

// Its short-buffer lines show the capacity needed; no line follows a copy.
constexpr CopyLines kSessionCopyLines{L"%s Insufficient buffer for user's name (%d < %d)",
                                      L"%s Insufficient buffer for user's account domain (%d < %d)", 1, nullptr,
                                      nullptr};

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
  return CopyUserAndDomain(op, kSessionCopyLines, status, user, domain, pszUser, pcchUser, pszDomain, pcchDomain);
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

// An error line with the function's name and the code, then the code.
DWORD Failed(const wchar_t* format, DWORD status) {
  log::Line(log::kError, format, kProcessUser, status);
  return status;
}

DWORD LookupProcessUser(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain, DWORD* pcchDomain) {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return Failed(L"%s OpenProcessToken failed (%d)", GetLastError());
  }

  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size)) {
    DWORD status = GetLastError();
    if (status != ERROR_INSUFFICIENT_BUFFER) {
      return Failed(L"%s unexpected error while retrieving TOKEN_USER buffer size (%d)", status);
    }
  }
  UniqueHeap<TOKEN_USER> tokenUser(
      static_cast<TOKEN_USER*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)));
  if (!tokenUser) {
    log::Line(log::kError, L"%s can't allocate memory for TOKEN_USER structure", kProcessUser);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (!GetTokenInformation(token.get(), TokenUser, tokenUser.get(), size, &size)) {
    return Failed(L"%s Can't retrieve TokenUser information (%d)", GetLastError());
  }

  LSA_OBJECT_ATTRIBUTES attributes = {};
  UniqueLsaPolicy policy;
  DWORD status = LsaNtStatusToWinError(LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, policy.put()));
  if (status != ERROR_SUCCESS) return Failed(L"%s Can't open policy (%d)", status);

  UniqueLsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
  UniqueLsaBuffer<LSA_TRANSLATED_NAME> names;
  PSID sid = tokenUser.get()->User.Sid;
  status = LsaNtStatusToWinError(LsaLookupSids(policy.get(), 1, &sid, domains.put(), names.put()));
  if (status != ERROR_SUCCESS) return Failed(L"%s LsaLookupSids failed (%d)", status);

  const LSA_UNICODE_STRING& userName = names.get()[0].Name;
  LSA_UNICODE_STRING domainName = {};
  if (domains && domains.get()->Entries > 0) domainName = domains.get()->Domains[0].Name;
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
