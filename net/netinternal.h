// Functions of the account family that other parts of the family use but the
// library does not export.
#pragma once

#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>

#include <cstring>
#include <string>

#include "unique.h"
#include "widthcalls.h"
#include "zqlog.h"

namespace zq::net {

// Registry caches of the library, under HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t kDomainCacheKeyW[] = L"SOFTWARE\\Quorvane\\System\\DomainCache";
inline constexpr const char kDomainCacheKeyA[] = "SOFTWARE\\Quorvane\\System\\DomainCache";
inline constexpr const wchar_t kUserCacheKey[] = L"SOFTWARE\\Quorvane\\System\\UserCache";
// The logon service's cache of domain names, read only.
inline constexpr const wchar_t kSystemDomainCacheKeyW[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";
inline constexpr const char kSystemDomainCacheKeyA[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\DomainCache";

// What the account functions take from the authority and the session manager.
using UniqueLsaPolicy = Unique<LSA_HANDLE, LsaClose>;
template <typename T>
using UniqueLsaBuffer = Unique<T*, LsaFreeMemory>;
template <typename T>
using UniqueWtsBuffer = Unique<T*, WTSFreeMemory>;

inline DWORD CountOf(size_t length) { return static_cast<DWORD>(length); }

// Copies text and its terminator into a buffer known to hold both.
template <typename Char>
void CopyWithTerminator(Char* buffer, const std::basic_string<Char>& text) {
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
}

// Copies text and its terminator when the buffer holds both; a null buffer
// asks for the size only. *count is the capacity in, the capacity needed out.
template <typename Char>
bool CopyOut(const std::basic_string<Char>& text, Char* buffer, DWORD* count) {
  const DWORD needed = CountOf(text.size() + 1);
  const bool fits = !buffer || *count >= needed;
  if (buffer && fits) CopyWithTerminator(buffer, text);
  *count = needed;
  return fits;
}

// The outcome of a BOOL function that reports its reason through the thread's
// last error. Deliver() runs last, after every owner is released and the exit
// line is written, so that none of those calls changes what the caller reads.
class BoolOutcome {
 public:
  static BoolOutcome Success() { return BoolOutcome(TRUE, false, 0); }
  static BoolOutcome SuccessWithError(DWORD error) { return BoolOutcome(TRUE, true, error); }
  static BoolOutcome Failure(DWORD error) { return BoolOutcome(FALSE, true, error); }
  // A failure that sets no last error of its own: the caller's stays.
  static BoolOutcome FailureWithoutError() { return BoolOutcome(FALSE, false, 0); }

  bool Succeeded() const { return result_ != FALSE; }
  BOOL Deliver(DWORD callerError) const {
    SetLastError(hasError_ ? error_ : callerError);
    return result_;
  }

 private:
  BoolOutcome(BOOL result, bool hasError, DWORD error) : result_(result), hasError_(hasError), error_(error) {}
  BOOL result_;
  bool hasError_;
  DWORD error_;
};

// An error line, then the failure whose reason it explains.
template <typename... Args>
BoolOutcome LoggedFailure(DWORD error, const wchar_t* format, Args... args) {
  log::Line(log::kError, format, args...);
  return BoolOutcome::Failure(error);
}

// The frame of the wide account functions: the entry line (the name alone),
// the pointers' check, two lines on the arguments ("%s ..." with the name, the
// second also with the domain), the step, and the exit line (the name alone).
// The step's outcome reaches the caller after all of them.
template <typename Step>
BOOL AccountCall(const wchar_t* name, const wchar_t* userLine, const wchar_t* domainLine, bool valid,
                 const wchar_t* domain, Step step) {
  const DWORD callerError = GetLastError();
  log::Operation op(name);
  BoolOutcome outcome = BoolOutcome::Failure(ERROR_INVALID_PARAMETER);
  if (!valid) {
    log::Line(log::kError, L"%s invalid parameter", name);
  } else {
    log::Line(log::kDetail, userLine, name);
    log::Line(log::kDetail, domainLine, name, domain);
    outcome = step();
  }
  op.Exit();
  return outcome.Deliver(callerError);
}

// The lines in which the buffer functions over the string overloads differ.
struct CopyLines {
  const wchar_t* userShort;     // name, capacity, and the user name's length plus shownExtra
  const wchar_t* domainShort;   // the same for the domain
  DWORD shownExtra;             // 1 where the line shows the capacity needed
  const wchar_t* userCopied;    // name; null for no line
  const wchar_t* domainCopied;  // name and the domain copied; null for no line
};

// The end of those buffer functions: the overload's failing status, or the
// user and domain copied with their terminators. A short user buffer sets
// both counts and copies nothing; a short domain buffer keeps the user copied.
template <typename Char>
DWORD CopyUserAndDomain(const log::Operation& op, const CopyLines& lines, int status,
                        const std::basic_string<Char>& user, const std::basic_string<Char>& domain, Char* pszUser,
                        DWORD* pcchUser, Char* pszDomain, DWORD* pcchDomain) {
  if (status != 0) return op.Exit<DWORD>(static_cast<DWORD>(status), L"%s (%d)");
  const DWORD userNeeded = CountOf(user.size() + 1);
  const DWORD domainNeeded = CountOf(domain.size() + 1);
  if (pszUser && *pcchUser <= user.size()) {
    log::Line(log::kError, lines.userShort, op.Name(), *pcchUser, CountOf(user.size()) + lines.shownExtra);
    *pcchUser = userNeeded;
    *pcchDomain = domainNeeded;
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszUser) {
    CopyWithTerminator(pszUser, user);
    if (lines.userCopied) log::Line(log::kDetail, lines.userCopied, op.Name());
  }
  *pcchUser = userNeeded;

  if (pszDomain && *pcchDomain <= domain.size()) {
    log::Line(log::kError, lines.domainShort, op.Name(), *pcchDomain, CountOf(domain.size()) + lines.shownExtra);
    *pcchDomain = domainNeeded;
    return op.Exit<DWORD>(ERROR_INSUFFICIENT_BUFFER, L"%s (%d)");
  }
  if (pszDomain) {
    CopyWithTerminator(pszDomain, domain);
    if (lines.domainCopied) log::Line(log::kDetail, lines.domainCopied, op.Name(), pszDomain);
  }
  *pcchDomain = domainNeeded;
  return op.Exit<DWORD>(ERROR_SUCCESS, L"%s (%d)");
}

}  // namespace zq::net

// The NETBIOS domain cached for the DNS domain of a UPN (the text after its
// first "@", or the whole text without one) in the library's domain cache.
// *pcbBuffer is the buffer's size in bytes in, the size the registry reports
// out. FALSE with the registry's code as last error (2: not cached, 234: buffer
// too small).
BOOL zqNetGetNETBIOSDomainNameFromUPNVistaW(const wchar_t* pszUpn, wchar_t* pszBuffer, DWORD* pcbBuffer);
BOOL zqNetGetNETBIOSDomainNameFromUPNVistaA(const char* pszUpn, char* pszBuffer, DWORD* pcbBuffer);

// The user cache: writes the SID's text under the account's value name, and
// reads it back into a copy on the process heap.
BOOL zqNetAddSidToUserCacheW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID pSid);
BOOL zqNetGetSidFromUserCacheW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID* ppSid);
