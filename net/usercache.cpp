// Account names to SIDs through the local security authority, with the
// library's user cache as the fallback when the authority cannot translate.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <string>

#include "netinternal.h"
#include "zqlog.h"
#include "zqnet.h"

namespace zq::net {
namespace {

using LsaLookupNames2Function = NTSTATUS(NTAPI*)(LSA_HANDLE, ULONG, ULONG, PLSA_UNICODE_STRING,
                                                 PLSA_REFERENCED_DOMAIN_LIST*, PLSA_TRANSLATED_SID2*);

// The longest text a counted string holds: its byte lengths are 16 bits, and
// the maximum counts the terminator too.
constexpr size_t kMaxCountedChars = (0xFFFF - sizeof(wchar_t)) / sizeof(wchar_t);

// A counted view of a terminated string, for the authority (at most
// kMaxCountedChars characters).
LSA_UNICODE_STRING Counted(const std::wstring& text) {
  LSA_UNICODE_STRING counted;
  counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  counted.MaximumLength = static_cast<USHORT>(counted.Length + sizeof(wchar_t));
  counted.Buffer = const_cast<wchar_t*>(text.c_str());
  return counted;
}

// user "." domain, or the user alone for an empty domain.
std::wstring UserCacheValueName(const wchar_t* user, const wchar_t* domain) {
  std::wstring name(user);
  if (*domain) name.append(L".").append(domain);
  return name;
}

BoolOutcome LookupUserName(const wchar_t* user, const wchar_t* domain, PSID* ppSid) {
  if (!*user) return BoolOutcome::FailureWithoutError();
  // Where the authority cannot translate: its error line, then the cache's answer.
  const auto fromCache = [&](const wchar_t* format, auto... args) {
    log::Line(log::kError, format, args...);
    log::Line(log::kDetail, L"zqNetLookupUserNameW LsaLookupNames2 failed, we'll use the UserCache");
    if (zqNetGetSidFromUserCacheW(user, domain, ppSid)) return BoolOutcome::Success();
    return BoolOutcome::Failure(GetLastError());
  };

  // A user name that carries its domain already is asked as given.
  std::wstring account = user;
  if (*domain && !wcschr(user, L'\\')) account = std::wstring(domain) + L"\\" + user;
  if (account.size() > kMaxCountedChars) {
    // Cut short, it would name another account.
    return LoggedFailure(ERROR_INVALID_PARAMETER, L"zqNetLookupUserNameW account name too long (%u characters)",
                         static_cast<unsigned>(account.size()));
  }

  wchar_t computer[256] = {};
  DWORD computerChars = 256;
  GetComputerNameW(computer, &computerChars);
  const std::wstring systemName = std::wstring(L"\\\\") + computer;
  log::Line(log::kDetail, L"zqNetLookupUserNameW Computer name %s", systemName.c_str());

  LSA_UNICODE_STRING system = Counted(systemName);
  LSA_OBJECT_ATTRIBUTES attributes = {};
  UniqueLsaPolicy policy;
  DWORD status = LsaNtStatusToWinError(LsaOpenPolicy(&system, &attributes, POLICY_LOOKUP_NAMES, policy.put()));
  if (status != ERROR_SUCCESS) return LoggedFailure(status, L"zqNetLookupUserNameW Can't open policy (%d)", status);

  UniqueModule advapi = LoadModule(L"Advapi32.dll");
  if (!advapi) return fromCache(L"zqNetLookupUserNameW : LoadLibrary(Advapi32.dll) failed");
  auto lookupNames = ProcAs<LsaLookupNames2Function>(advapi.get(), "LsaLookupNames2");
  if (!lookupNames) return fromCache(L"zqNetLookupUserNameW GetProcAddress LsaLookupNames2() Failed");

  LSA_UNICODE_STRING name = Counted(account);
  UniqueLsaBuffer<LSA_REFERENCED_DOMAIN_LIST> domains;
  UniqueLsaBuffer<LSA_TRANSLATED_SID2> sids;
  status = LsaNtStatusToWinError(lookupNames(policy.get(), 0, 1, &name, domains.put(), sids.put()));
  if (status != ERROR_SUCCESS) return fromCache(L"zqNetLookupUserNameW LsaLookupNames2 failed (%d)", status);

  PSID found = sids ? sids.get()[0].Sid : nullptr;
  // Success without a SID (a domain's name, say) is no answer for an account.
  if (!found) return fromCache(L"zqNetLookupUserNameW LsaLookupNames2 failed (%d)", ERROR_NONE_MAPPED);
  const DWORD length = GetLengthSid(found);
  UniqueHeap<void> copy(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length));
  if (!copy) {
    *ppSid = nullptr;
    return LoggedFailure(ERROR_NOT_ENOUGH_MEMORY, L"zqNetLookupUserNameW Can't allocate memory for SID");
  }
  if (!CopySid(length, copy.get(), found)) {
    *ppSid = nullptr;
    return LoggedFailure(GetLastError(), L"zqNetLookupUserNameW Can't copy SID");
  }
  *ppSid = copy.release();
  // The cache is keyed by the caller's names, not by the account asked for.
  zqNetAddSidToUserCacheW(user, domain, *ppSid);
  return BoolOutcome::Success();
}

BoolOutcome AddSidToUserCache(const wchar_t* user, const wchar_t* domain, PSID sid) {
  if (!*user || !sid) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);

  UniqueKey key;
  LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUserCacheKey, 0, KEY_WRITE, key.put());
  if (rc != ERROR_SUCCESS) return LoggedFailure(rc, L"zqNetAddSidToUserCacheW Can't open UserCache key");
  UniqueLocal<wchar_t> sidText;
  if (!ConvertSidToStringSidW(sid, sidText.put())) {
    return LoggedFailure(GetLastError(), L"zqNetAddSidToUserCacheW Cannot convert sid to string sid");
  }
  const DWORD bytes = CountOf((wcslen(sidText.get()) + 1) * sizeof(wchar_t));
  rc = RegSetValueExW(key.get(), UserCacheValueName(user, domain).c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(sidText.get()), bytes);
  if (rc != ERROR_SUCCESS) {
    return LoggedFailure(rc, L"zqNetAddSidToUserCacheW Can't add user to UserCache registry key");
  }
  return BoolOutcome::Success();
}

BoolOutcome GetSidFromUserCache(const wchar_t* user, const wchar_t* domain, PSID* ppSid) {
  if (!*user) return BoolOutcome::Failure(ERROR_INVALID_PARAMETER);

  const std::wstring valueName = UserCacheValueName(user, domain);
  UniqueKey key;
  LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUserCacheKey, 0, KEY_QUERY_VALUE, key.put());
  if (rc != ERROR_SUCCESS) {
    return LoggedFailure(rc, L"zqNetGetSidFromUserCacheW Can't open registry key %s", kUserCacheKey);
  }
  DWORD bytes = 0;
  rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &bytes);
  if (rc != ERROR_SUCCESS) {
    return LoggedFailure(rc, L"zqNetGetSidFromUserCacheW Can't get buffer size for registry value (%d)", rc);
  }
  // Room for a terminator of our own: stored text need not end in one.
  UniqueHeap<wchar_t> text(
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, bytes + sizeof(wchar_t))));
  if (!text) return LoggedFailure(ERROR_NOT_ENOUGH_MEMORY, L"zqNetGetSidFromUserCacheW Allocation error!!!");
  rc = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.get()), &bytes);
  if (rc != ERROR_SUCCESS) return LoggedFailure(rc, L"zqNetGetSidFromUserCacheW Can't get value of registry key");
  text.get()[bytes / sizeof(wchar_t)] = L'\0';

  UniqueLocal<void> converted;
  if (!ConvertStringSidToSidW(text.get(), converted.put())) {
    return LoggedFailure(GetLastError(), L"zqNetGetSidFromUserCacheW Can't convert string sid to valid sid");
  }
  const DWORD length = GetLengthSid(converted.get());
  UniqueHeap<void> copy(HeapAlloc(GetProcessHeap(), 0, length));
  if (!copy) return LoggedFailure(ERROR_NOT_ENOUGH_MEMORY, L"zqNetGetSidFromUserCacheW Allocation error!!!");
  CopySid(length, copy.get(), converted.get());
  *ppSid = copy.release();
  return BoolOutcome::Success();
}

// The argument lines of the three functions.
constexpr const wchar_t kUserLine[] = L"%s username";
constexpr const wchar_t kDomainLine[] = L"%s domain = %s";

}  // namespace
}  // namespace zq::net

using namespace zq;
using namespace zq::net;

extern "C" BOOL zqNetLookupUserNameW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID* ppSid) {
  return AccountCall(L"zqNetLookupUserNameW", kUserLine, kDomainLine, pszUserName && pszDomainName && ppSid,
                     pszDomainName, [&] { return LookupUserName(pszUserName, pszDomainName, ppSid); });
}

BOOL zqNetAddSidToUserCacheW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID pSid) {
  return AccountCall(L"zqNetAddSidToUserCacheW", kUserLine, kDomainLine, pszUserName && pszDomainName,
                     pszDomainName, [&] { return AddSidToUserCache(pszUserName, pszDomainName, pSid); });
}

BOOL zqNetGetSidFromUserCacheW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID* ppSid) {
  return AccountCall(L"zqNetGetSidFromUserCacheW", kUserLine, kDomainLine, pszUserName && pszDomainName && ppSid,
                     pszDomainName, [&] { return GetSidFromUserCache(pszUserName, pszDomainName, ppSid); });
}
