// Any user id (UPN, SAM-compatible name or plain user name) to a user name and
// a NETBIOS domain; and the bare user name of an id.
#include <windows.h>

#include <string>

#include "nettext.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

constexpr DWORD kTranslationChars = 256;

template <typename Char>
struct Width;

template <>
struct Width<wchar_t> {
  static constexpr const wchar_t* kDomainLine = L"zqNetConvertUserIdToNETBIOS Domain = %ls";
  static constexpr const wchar_t* kBufferDomainLine = L"%s Domain name = %s";
  static BOOL Translate(const wchar_t* upn, wchar_t* buffer, DWORD* count) {
    return zqNetGetUserNameDomainFromUPNW(upn, buffer, count);
  }
};

template <>
struct Width<char> {
  static constexpr const wchar_t* kDomainLine = L"zqNetConvertUserIdToNETBIOS Domain = %S";
  static constexpr const wchar_t* kBufferDomainLine = L"%s Domain name = %S";
  static BOOL Translate(const char* upn, char* buffer, DWORD* count) {
    return zqNetGetUserNameDomainFromUPNA(upn, buffer, count);
  }
};

template <typename Char>
int ConvertUserId(const std::basic_string<Char>& userId, const std::basic_string<Char>& domainName,
                  std::basic_string<Char>& user, std::basic_string<Char>& netbiosDomain) {
  log::Line(log::kEntry, L"zqNetConvertUserIdToNETBIOS");
  log::Bytes(log::kDetail, domainName.c_str(), CountOf(domainName.size() * sizeof(Char)),
             L"zqNetConvertUserIdToNETBIOS Domain name");
  log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS Username");
  log::Line(log::kDetail, Width<Char>::kDomainLine, domainName.c_str());

  const auto finish = [](int status) {
    log::Line(log::kExit, L"zqNetConvertUserIdToNETBIOS (%d)", status);
    return status;
  };
  if (userId.empty()) return finish(ERROR_INVALID_PARAMETER);

  std::basic_string<Char> working = userId;
  if (working.find(At<Char>()) != working.npos) {
    log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS UPN");
    Char translated[kTranslationChars] = {};
    DWORD count = kTranslationChars - 1;
    if (!Width<Char>::Translate(userId.c_str(), translated, &count)) {
      // The translation's reason is the status; this line ends the call.
      DWORD status = GetLastError();
      log::Line(log::kError, L"zqNetConvertUserIdToNETBIOS UPN Translation failed (%d)", status);
      return static_cast<int>(status);
    }
    working.assign(translated, BoundedLength(translated, kTranslationChars));
  }

  size_t slash = working.find(Backslash<Char>());
  if (slash != working.npos) {
    log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS SAM compatible name");
    netbiosDomain = working.substr(0, slash);
    user = working.substr(slash + 1);
    return finish(ERROR_SUCCESS);
  }

  log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS Use input directly");
  user = userId;
  size_t end = domainName.find(static_cast<Char>(' '));
  if (end == domainName.npos) end = domainName.find(static_cast<Char>('\t'));
  netbiosDomain = domainName.substr(0, end);
  return finish(ERROR_SUCCESS);
}

// The buffer functions; `name` leads every line. Only the wide one reports
// what it copied.
template <typename Char>
DWORD CopyConvertedUserId(const wchar_t* name, const Char* pszUserId, const Char* pszDomainName, Char* pszUser,
                          DWORD* pcchUser, Char* pszDomain, DWORD* pcchDomain) {
  constexpr bool kWide = sizeof(Char) == sizeof(wchar_t);
  log::Operation op(name, L"%s (%p,%p,%p,%p)", name, pszDomainName, pcchUser, pszDomain, pcchDomain);
  if (!pszUserId || !pcchUser || !pcchDomain) {
    log::Line(log::kError, L"%s Invalid parameter", name);
    return op.Exit<DWORD>(ERROR_INVALID_PARAMETER, L"%s (%d)");
  }
  log::Line(log::kDetail, L"%s User name", name);
  if (pszDomainName) log::Line(log::kDetail, Width<Char>::kBufferDomainLine, name, pszDomainName);

  std::basic_string<Char> user;
  std::basic_string<Char> domain;
  int status = zqNetConvertUserIdToNETBIOS(std::basic_string<Char>(pszUserId),
                                           pszDomainName ? std::basic_string<Char>(pszDomainName)
                                                         : std::basic_string<Char>(),
                                           user, domain);
  if (status != 0) return op.Exit<DWORD>(static_cast<DWORD>(status), L"%s (%d)");

  if (pszUser && *pcchUser <= user.size()) {
    log::Line(log::kError, L"%s Insufficient buffer for user name (%d < %d)", name, *pcchUser, CountOf(user.size()));
    *pcchUser = CountOf(user.size() + 1);
    *pcchDomain = CountOf(domain.size() + 1);
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszUser) {
    CopyWithTerminator(pszUser, user);
    if (kWide) log::Line(log::kDetail, L"%s User name out", name);
  }
  *pcchUser = CountOf(user.size() + 1);

  if (pszDomain && *pcchDomain <= domain.size()) {
    log::Line(log::kError, L"%s Insufficient buffer for domain (%d < %d)", name, *pcchDomain,
              CountOf(domain.size()));
    *pcchDomain = CountOf(domain.size() + 1);
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszDomain) {
    CopyWithTerminator(pszDomain, domain);
    if (kWide) log::Line(log::kDetail, L"%s Domain out = %s", name, pszDomain);
  }
  *pcchDomain = CountOf(domain.size() + 1);
  return op.Exit<DWORD>(ERROR_SUCCESS, L"%s (%d)");
}

template <typename Char>
BOOL BareUserName(const Char* pszUserId, Char* pszBuffer, DWORD* pcchBuffer) {
  if (!pszUserId || !pcchBuffer) return FALSE;
  const std::basic_string<Char> id(pszUserId);
  std::basic_string<Char> name;
  size_t at = id.find(At<Char>());
  size_t slash = id.find(Backslash<Char>());
  if (at != id.npos) {
    name = id.substr(0, at);
  } else if (slash != id.npos) {
    if (slash + 1 == id.size()) return FALSE;
    name = id.substr(slash + 1);
  } else {
    name = id;
  }
  const DWORD needed = CountOf(name.size() + 1);
  if (pszBuffer && *pcchBuffer < needed) {
    *pcchBuffer = needed;
    return FALSE;
  }
  if (pszBuffer) CopyWithTerminator(pszBuffer, name);
  *pcchBuffer = needed;
  return TRUE;
}

}  // namespace
}  // namespace zq::net

using namespace zq::net;

int zqNetConvertUserIdToNETBIOS(const std::wstring& userId, const std::wstring& domainName, std::wstring& user,
                                std::wstring& netbiosDomain) {
  return ConvertUserId(userId, domainName, user, netbiosDomain);
}

int zqNetConvertUserIdToNETBIOS(const std::string& userId, const std::string& domainName, std::string& user,
                                std::string& netbiosDomain) {
  return ConvertUserId(userId, domainName, user, netbiosDomain);
}

extern "C" DWORD zqNetConvertUserIdToNETBIOSW(const wchar_t* pszUserId, const wchar_t* pszDomainName,
                                              wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                              DWORD* pcchDomain) {
  return CopyConvertedUserId(L"zqNetConvertUserIdToNETBIOSW", pszUserId, pszDomainName, pszUser, pcchUser, pszDomain,
                             pcchDomain);
}

extern "C" DWORD zqNetConvertUserIdToNETBIOSA(const char* pszUserId, const char* pszDomainName, char* pszUser,
                                              DWORD* pcchUser, char* pszDomain, DWORD* pcchDomain) {
  return CopyConvertedUserId(L"zqNetConvertUserIdToNETBIOSA", pszUserId, pszDomainName, pszUser, pcchUser, pszDomain,
                             pcchDomain);
}

extern "C" BOOL zqNetGetUserNameFromUserIdW(const wchar_t* pszUserId, wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return BareUserName(pszUserId, pszBuffer, pcchBuffer);
}

extern "C" BOOL zqNetGetUserNameFromUserIdA(const char* pszUserId, char* pszBuffer, DWORD* pcchBuffer) {
  return BareUserName(pszUserId, pszBuffer, pcchBuffer);
}
