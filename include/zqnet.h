// zqplatutilu.dll: account names. The current user and domain, user principal
// names (UPN, user@dns.domain) to SAM-compatible names (NETBIOS\user), any user
// id to a user name and a NETBIOS domain, the SID of an account, and the user
// name that a renamed account had when its profile was made.
//
// Results. The status functions return a Win32 error code: 0 success, 87
// ERROR_INVALID_PARAMETER, 122 ERROR_INSUFFICIENT_BUFFER, 8
// ERROR_NOT_ENOUGH_MEMORY, or a code passed on from the system. The BOOL
// functions return nonzero on success and 0 on failure; where a reason is
// given it is in the thread's last error, and a function that sets none leaves
// the caller's last error as it was.
//
// Counts. Unless a function says otherwise, *pcch... counts characters (bytes
// for the A functions), terminator included: on input the capacity of the
// buffer, on output the capacity the result needs. A null buffer asks for the
// size only.
//
// Caches. Two registry keys of the library, under HKEY_LOCAL_MACHINE:
//   "SOFTWARE\Quorvane\System\DomainCache"  value <dns domain> = NETBIOS name (REG_SZ)
//   "SOFTWARE\Quorvane\System\UserCache"    value <user>.<domain> or <user> = SID text (REG_SZ)
// The library opens them but never creates them; while a key is missing
// nothing is cached there and nothing is found there.
#pragma once

#include <windows.h>

#include "zqexport.h"

#ifdef __cplusplus
#include <string>
#endif

// ---- Current user and domain ------------------------------------------------
//
// The user and domain of the Terminal Services session the process runs in,
// as WTSQuerySessionInformation reports them; nothing is cached.
//
// With both buffers null: a size query, 0 and both counts set. A user buffer
// that cannot hold the name and its terminator: 122, both counts set, nothing
// copied. A domain buffer too small: 122, the user name copied, both counts set.
// A null count pointer: 87, no count written.
ZQPLATUTIL_C_API DWORD zqNetGetCurrentUserAndDomainW(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                                     DWORD* pcchDomain);
// Narrow: the system's narrow text in the ANSI code page; counts are bytes.
ZQPLATUTIL_C_API DWORD zqNetGetCurrentUserAndDomainA(char* pszUser, DWORD* pcchUser, char* pszDomain,
                                                     DWORD* pcchDomain);

// The user of the process's access token and its domain, resolved by the local
// security authority. Both buffers are needed: a null buffer, or one that cannot
// hold its name and terminator, gives 122 with both counts set to the
// capacities needed and nothing copied (so a call with null buffers is a size
// query that answers 122). A null count pointer: 87.
ZQPLATUTIL_C_API DWORD zqNetGetCurrentProcessUserAndDomainW(wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                                            DWORD* pcchDomain);

// ---- UPN to SAM-compatible name ----------------------------------------------
//
// The NETBIOS name of a DNS domain, from the system's domain cache
// ("Software\Microsoft\Windows NT\CurrentVersion\Winlogon\DomainCache", value
// name = NETBIOS name, data = DNS name; case-sensitive match, first match in
// enumeration order). Here *pcchBuffer counts WITHOUT the terminator: on input
// the buffer holds *pcchBuffer characters plus a terminator, on output the
// name's length. A null buffer is a size query. Last errors: 122 (buffer too
// small, *pcchBuffer = length), 259 ERROR_NO_MORE_ITEMS (no match), 234
// ERROR_MORE_DATA (a cached name of 255 characters or more, or data of more
// than 255 bytes), the registry's code when the key cannot be opened, 87 for a null
// domain or count pointer. No log lines.
ZQPLATUTIL_C_API BOOL zqNetGetNETBIOSDomainNameFromUPNW(const wchar_t* pszDnsDomain, wchar_t* pszBuffer,
                                                        DWORD* pcchBuffer);
ZQPLATUTIL_C_API BOOL zqNetGetNETBIOSDomainNameFromUPNA(const char* pszDnsDomain, char* pszBuffer, DWORD* pcchBuffer);

// A UPN as NETBIOS domain, "\" and user name. *pcchBuffer counts WITH the
// terminator. With a live network (IsNetworkAlive) the directory translates it
// (TranslateName from Secur32.dll, loaded for the call) and a success is
// recorded in the library's domain cache; a size query there answers TRUE with
// last error 0. Otherwise, or when the directory fails with anything but 122,
// the domain comes from the system's domain cache, then from the library's.
// Last errors: 87 (null UPN or count pointer), 2 (Secur32.dll or TranslateName
// missing; or nothing cached), 122 (buffer too small, *pcchBuffer = needed),
// and, without a live network or directory answer, 87 for a UPN without "@".
// No entry or exit log lines.
ZQPLATUTIL_C_API BOOL zqNetGetUserNameDomainFromUPNW(const wchar_t* pszUpn, wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API BOOL zqNetGetUserNameDomainFromUPNA(const char* pszUpn, char* pszBuffer, DWORD* pcchBuffer);

// ---- User id to user name and NETBIOS domain ----------------------------------
//
// The id is a UPN (has "@": translated as above), a SAM-compatible name (has
// "\": split at the first one) or a plain user name, whose domain is then
// pszDomainName up to its first blank (or else its first tab). A null
// pszDomainName counts as an empty domain. Status 87 for an empty id or a null
// id or count pointer; a failed UPN translation returns its last error.
ZQPLATUTIL_C_API DWORD zqNetConvertUserIdToNETBIOSW(const wchar_t* pszUserId, const wchar_t* pszDomainName,
                                                    wchar_t* pszUser, DWORD* pcchUser, wchar_t* pszDomain,
                                                    DWORD* pcchDomain);
ZQPLATUTIL_C_API DWORD zqNetConvertUserIdToNETBIOSA(const char* pszUserId, const char* pszDomainName, char* pszUser,
                                                    DWORD* pcchUser, char* pszDomain, DWORD* pcchDomain);

// The bare user name of an id: before "@", after the first "\", or the whole
// id. FALSE when the buffer is too small (*pcchBuffer then set) or when nothing
// follows the "\" (count untouched), and for a null id or count pointer.
// No last error, no log lines.
ZQPLATUTIL_C_API BOOL zqNetGetUserNameFromUserIdW(const wchar_t* pszUserId, wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API BOOL zqNetGetUserNameFromUserIdA(const char* pszUserId, char* pszBuffer, DWORD* pcchBuffer);

// ---- Account SID ---------------------------------------------------------------
//
// The SID of user pszUserName in domain pszDomainName (may be empty; a user
// name that holds "\" is used as given), from the local security authority;
// each SID found is written to the user cache, and when the authority cannot
// translate the name the cached SID is returned. On success *ppSid is a copy
// on the process heap that the caller frees with
// HeapFree(GetProcessHeap(), 0, sid). An empty user name: FALSE, no last error.
// Null pointers, or an account name ("domain\user") of more than 32,766
// characters (what the authority's counted strings hold): FALSE, last error 87.
ZQPLATUTIL_C_API BOOL zqNetLookupUserNameW(const wchar_t* pszUserName, const wchar_t* pszDomainName, PSID* ppSid);

// The user name under which the account's profile was created: the last
// component of its ProfileImagePath (ProfileList key of its SID). *pcchBuffer
// counts with the terminator; a null or too small buffer gives FALSE, last
// error 234 ERROR_MORE_DATA and the count needed. Null pointers: FALSE, 87.
ZQPLATUTIL_C_API BOOL zqNetGetInitialUserNameBeforeRenameW(const wchar_t* pszUserName, const wchar_t* pszDomainName,
                                                           wchar_t* pszBuffer, DWORD* pcchBuffer);

#ifdef __cplusplus
// The session's user and domain into standard strings (replaced whole). A
// failing domain query leaves the user name assigned.
ZQPLATUTIL_API int zqNetGetCurrentUserAndDomain(std::wstring& user, std::wstring& domain);
ZQPLATUTIL_API int zqNetGetCurrentUserAndDomain(std::string& user, std::string& domain);

// Any user id to a user name and a NETBIOS domain (see the buffer functions).
ZQPLATUTIL_API int zqNetConvertUserIdToNETBIOS(const std::wstring& userId, const std::wstring& domainName,
                                               std::wstring& user, std::wstring& netbiosDomain);
ZQPLATUTIL_API int zqNetConvertUserIdToNETBIOS(const std::string& userId, const std::string& domainName,
                                               std::string& user, std::string& netbiosDomain);
#endif
