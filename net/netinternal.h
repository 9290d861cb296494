// Functions of the account family that other parts of the family use but the
// library does not export.
#pragma once

#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>

#include "unique.h"

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
