// Any user id (UPN, SAM-compatible name or plain user name) to a user name and
// a NETBIOS domain; and the bare user name of an id.
#include <windows.h>

#include <string>

#include "netinternal.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

constexpr DWORD kTranslationChars = 256;

// The domain lines, with the id's width.
template <typename Char>
constexpr const wchar_t* kDomainLine = sizeof(Char) == 1 ? L"zqNetConvertUserIdToNETBIOS Domain = %S"
                                                         : L"zqNetConvertUserIdToNETBIOS Domain = %ls";
template <typename Char>
constexpr const wchar_t* kBufferDomainLine = sizeof(Char) == 1 ? L"%s Domain name = %S" : L"%s Domain name = %s";

// The directory's translation of the id's width.
BOOL TranslateUpn(const wchar_t* upn, wchar_t* buffer, DWORD* count) {
  return zqNetGetUserNameDomainFromUPNW(upn, buffer, count);
}
BOOL TranslateUpn(const char* upn, char* buffer, DWORD* count) {
  return zqNetGetUserNameDomainFromUPNA(upn, buffer, count);
}

// The wide buffer function alone reports what it copied.
template <typename Char>
constexpr CopyLines kCopyLines{L"%s Insufficient buffer for user name (%d < %d)",
                               L"%s Insufficient buffer for domain (%d < %d)", 0,
                               sizeof(Char) == 1 ? nullptr : L"%s User name out",
                               sizeof(Char) == 1 ? nullptr : L"%s Domain out = %s"};

template <typename Char>
int ConvertUserId(const std::basic_string<Char>& userId, const std::basic_string<Char>& domainName,
                  std::basic_string<Char>& user, std::basic_string<Char>& netbiosDomain) {
  log::Line(log::kEntry, L"zqNetConvertUserIdToNETBIOS");
  log::Bytes(log::kDetail, domainName.c_str(), CountOf(domainName.size() * sizeof(Char)),
             L"zqNetConvertUserIdToNETBIOS Domain name");
  log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS Username");
  log::Line(log::kDetail, kDomainLine<Char>, domainName.c_str());

  const auto finish = [](int status) {
    log::Line(log::kExit, L"zqNetConvertUserIdToNETBIOS (%d)", status);
    return status;
  };
  if (userId.empty()) return finish(ERROR_INVALID_PARAMETER);

  std::basic_string<Char> working = userId;
  if (working.find(Literal<Char>('@')) != working.npos) {
    log::Line(log::kDetail, L"zqNetConvertUserIdToNETBIOS UPN");
    Char translated[kTranslationChars] = {};
    DWORD count = kTranslationChars - 1;
    if (!TranslateUpn(userId.c_str(), translated, &count)) {
      // The translation's reason is the status; this line ends the call.
      DWORD status = GetLastError();
      log::Line(log::kError, L"zqNetConvertUserIdToNETBIOS UPN Translation failed (%d)", status);
      return static_cast<int>(status);
    }
    working.assign(translated, BoundedLength(translated, kTranslationChars));
  }

  size_t slash = working.find(Literal<Char>('\\'));
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

// The buffer functions; `name` leads every line.
template <typename Char>
DWORD CopyConvertedUserId(const wchar_t* name, const Char* pszUserId, const Char* pszDomainName, Char* pszUser,
                          DWORD* pcchUser, Char* pszDomain, DWORD* pcchDomain) {
  log::Operation op(name, L"%s (%p,%p,%p,%p)", name, pszDomainName, pcchUser, pszDomain, pcchDomain);
  if (!pszUserId || !pcchUser || !pcchDomain) {
    log::Line(log::kError, L"%s Invalid parameter", name);
    return op.Exit<DWORD>(ERROR_INVALID_PARAMETER, L"%s (%d)");
  }
  log::Line(log::kDetail, L"%s User name", name);
  if (pszDomainName) log::Line(log::kDetail, kBufferDomainLine<Char>, name, pszDomainName);

  std::basic_string<Char> user;
  std::basic_string<Char> domain;
  int status = zqNetConvertUserIdToNETBIOS(std::basic_string<Char>(pszUserId),
                                           pszDomainName ? std::basic_string<Char>(pszDomainName)
                                                         : std::basic_string<Char>(),
                                           user, domain);
  return CopyUserAndDomain(op, kCopyLines<Char>, status, user, domain, pszUser, pcchUser, pszDomain, pcchDomain);
}

template <typename Char>
BOOL BareUserName(const Char* pszUserId, Char* pszBuffer, DWORD* pcchBuffer) {
  if (!pszUserId || !pcchBuffer) return FALSE;
  const std::basic_string<Char> id(pszUserId);
  std::basic_string<Char> name;
  size_t at = id.find(Literal<Char>('@'));
  size_t slash = id.find(Literal<Char>('\\'));
  if (at != id.npos) {
    name = id.substr(0, at);
  } else if (slash != id.npos) {
    if (slash + 1 == id.size()) return FALSE;
    name = id.substr(slash + 1);
  } else {
    name = id;
  }
  return CopyOut(name, pszBuffer, pcchBuffer);
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
