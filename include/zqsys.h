// zqplatutilu.dll: security identifiers, token queries, drives and ISO 8601 time.
//
// Every operation runs on the caller's thread and keeps no state between
// calls. Handles that the caller passes (tokens) are never closed; every
// handle, module and working buffer that a call obtains is released before it
// returns. Everything except the SID-to-text conversions logs its entry and
// its result under the module tag "PLATUTIL".
#pragma once

#include <windows.h>

#include "zqexport.h"

#ifdef __cplusplus
#include <string>
#else
#include <stdbool.h>
#endif

// ---- Security identifiers --------------------------------------------------
//
// Account lookup: the SID of DOMAIN\USER (an empty domain asks for \USER).
// *ppSid is set to null first; whenever it is non-null on return, whatever the
// status, it holds a zero-filled block from the runtime heap (calloc) that the
// caller releases with free(). Status: 0 with a SID, 0 without one when the
// system answers the size query itself, 8 when memory runs out, otherwise the
// system's error code of the lookup (for example 1332 for an unknown account).
// The A/W forms answer 87 (ERROR_INVALID_PARAMETER) for a null user, domain
// or SID pointer, after their entry line and without touching *ppSid.
#ifdef __cplusplus
ZQPLATUTIL_API DWORD zqSysGetUserSID(const std::wstring& user, const std::wstring& domain, void*& pSid);
ZQPLATUTIL_API DWORD zqSysGetUserSID(const std::string& user, const std::string& domain, void*& pSid);
#endif
ZQPLATUTIL_C_API DWORD zqSysGetUserSIDW(const wchar_t* pszUser, const wchar_t* pszDomain, void** ppSid);
ZQPLATUTIL_C_API DWORD zqSysGetUserSIDA(const char* pszUser, const char* pszDomain, void** ppSid);

// SID to text, S-1-<authority>-<sub>-<sub>...: the authority in decimal, or as
// 0x and twelve lower-case hexadecimal digits when either of its first two
// bytes is non-zero. *pcbText is the buffer's size in BYTES. A SID with n
// sub-authorities needs 56 + 24*n bytes (W) or 28 + 12*n bytes (A), however
// short its text; a smaller size gives FALSE, last error 122
// (ERROR_INSUFFICIENT_BUFFER) and the required size in *pcbText (so a null
// buffer with size 0 is a size query). *pcbText is not changed on success.
// An invalid SID gives FALSE with the system's last error. Chosen here: a null
// SID gives FALSE with 1337 (ERROR_INVALID_SID); a null pcbText, or a null
// buffer with a size large enough, gives FALSE with 87. These log nothing.
ZQPLATUTIL_C_API BOOL zqSysConvertSIDW(PSID pSid, wchar_t* pszText, DWORD* pcbText);
ZQPLATUTIL_C_API BOOL zqSysConvertSIDA(PSID pSid, char* pszText, DWORD* pcbText);

// The user SID of an access token (TOKEN_QUERY access) as text, with the
// conversion's buffer rules. FALSE with the system's last error when the token
// cannot be read. The token stays open.
ZQPLATUTIL_C_API BOOL zqSysObtainSIDW(HANDLE hToken, wchar_t* pszText, DWORD* pcbText);
ZQPLATUTIL_C_API BOOL zqSysObtainSIDA(HANDLE hToken, char* pszText, DWORD* pcbText);

// ---- Token queries ---------------------------------------------------------
//
// The process token answers; the calling thread's token (opened as self) only
// when the process token cannot be opened. When no token can be read the
// answers are the safe defaults: 0x2000 (SECURITY_MANDATORY_MEDIUM_RID) and
// false.
ZQPLATUTIL_C_API DWORD zqGetIntegrityLevel(void);
ZQPLATUTIL_C_API bool zqIsAppContainer(void);

// ---- Drives ----------------------------------------------------------------
//
// Fixed-drive walk: from an empty string (or a drive not in the system's
// list, compared case-sensitively as "C:" or "C:\") the first fixed drive;
// from a drive of the list the next fixed drive after it in the system's
// order; 15 (ERROR_INVALID_DRIVE) when none is left, the string unchanged.
// Drives come back as two characters, such as "C:". Other statuses: 8 (no
// memory) or the system's last error.
//
// System drive: the whole value of the environment variable "SystemDrive".
//
// Buffer forms: *pcchBuffer is the capacity in characters (terminator
// included). A null pcchBuffer gives 87; a null buffer gives 0 (size query);
// a capacity below 3 gives 122; otherwise the buffer's text is the input and
// receives the result, or keeps its input on failure. *pcchBuffer is always
// set to 3 when it is given. Chosen here for a value longer than the buffer
// (only "SystemDrive" can be): the copy stops at the capacity, the text is
// cut and terminated, and the status is still the lookup's.
#ifdef __cplusplus
ZQPLATUTIL_API int zqSysGetFixedDrive(std::wstring& drive);
ZQPLATUTIL_API int zqSysGetFixedDrive(std::string& drive);
ZQPLATUTIL_API int zqSysGetSystemDrive(std::wstring& drive);
ZQPLATUTIL_API int zqSysGetSystemDrive(std::string& drive);
#endif
ZQPLATUTIL_C_API int zqSysGetFixedDriveW(wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API int zqSysGetFixedDriveA(char* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API int zqSysGetSystemDriveW(wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API int zqSysGetSystemDriveA(char* pszBuffer, DWORD* pcchBuffer);

// ---- ISO 8601 time ---------------------------------------------------------
//
// Accepted text: DATE[(T| )TIME[(Z|+|-)OFFSET]] with
//   DATE   YYYY, YYYY-MM, YYYYMMDD or YYYY-MM-DD
//   TIME   hh, hhmm, hh:mm, hhmmss or hh:mm:ss (no fractions of a second)
//   OFFSET hh, hhmm or hh:mm; at most +13:59 and -12:59; 'Z' followed by an
//          offset counts as '+'
// Only an uppercase 'T' or a space separates, only an uppercase 'Z' marks a
// zone. A designator with nothing behind it ("...Z", "...+") means UTC; a text
// without a designator is the machine's local time. Fields are not checked
// against the calendar: where a system conversion runs, it rejects them with
// its last error; a UTC text ("...Z") returns them as they stand.
//
// Statuses: 0, 87 (null argument or wrong shape), 8 (no memory), 266 (a
// working copy could not be filled) or the last error of a system call.
// After a non-zero status *pst holds nothing usable.
ZQPLATUTIL_C_API DWORD zqSysISO8601ToSystemTime(const wchar_t* pszText, SYSTEMTIME* pst);
ZQPLATUTIL_C_API DWORD zqSysISO8601ToLargeInteger(const wchar_t* pszText, LARGE_INTEGER* pliTime);

// Formatting: always "YYYY-MM-DDThh:mm:ssZ", 20 characters and the
// terminator; *pcchBuffer is the capacity in characters in, 21 out. A
// capacity of 20 or less gives 122 with buffer and size untouched. The caller's
// SYSTEMTIME gets wDayOfWeek and wMilliseconds set to 0 (milliseconds are
// dropped, not rounded). Chosen here for fields wider than their width (a
// year above 9999): the text is the first 20 characters of the full print,
// always terminated, and the status is still 0. The local variant writes the
// local wall-clock fields, closing 'Z' included.
ZQPLATUTIL_C_API DWORD zqSysSystemTimeToISO8601(SYSTEMTIME* pst, wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API DWORD zqSysCurrentTimeToISO8601(wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API DWORD zqSysCurrentLocalTimeToISO8601(wchar_t* pszBuffer, DWORD* pcchBuffer);
ZQPLATUTIL_C_API DWORD zqSysLargeIntegerToISO8601(const LARGE_INTEGER* pliTime, wchar_t* pszBuffer,
                                                  DWORD* pcchBuffer);

// Comparison of two texts as UTC instants: 0xFFFFFFFF (-1) when the first is
// earlier, 0 when both are the same instant, 1 when the first is later; any
// other value is the error status of the first step that failed.
#define ZQ_SYS_ISO8601_EARLIER 0xFFFFFFFFu
ZQPLATUTIL_C_API DWORD zqSysCompareISO8601(const wchar_t* pszFirst, const wchar_t* pszSecond);
