// zqplatutilu.dll: typed registry access in the default, 32-bit or 64-bit view.
//
// Every function returns one of the ZQ_REG_* status codes below. Sizes are in
// bytes. The root key is never closed by the library; every key that a call
// opens is closed before it returns. A null value name means the key's
// unnamed default value.
//
// Section ("Desired registry section"): ZQ_REG_SECTION_DEFAULT (0),
// ZQ_REG_SECTION_64 (0x100, KEY_WOW64_64KEY) or ZQ_REG_SECTION_32 (0x200,
// KEY_WOW64_32KEY). Anything else is rejected with ZQ_REG_BAD_ARGUMENT before
// any key is opened; an accepted section is OR-ed into the access mask.
//
// Order of checks: section, then required pointers, then the system calls.
#pragma once

#include <windows.h>

#include "zqexport.h"

#define ZQ_REG_OK 0             // success
#define ZQ_REG_ERROR (-1)       // a system call failed (open, query, create, set, enumerate, delete)
#define ZQ_REG_MORE_DATA (-2)   // the caller's buffer is too small (string, multi-string, binary reads)
#define ZQ_REG_BAD_ARGUMENT (-3)  // section rejected or a required pointer is null
#define ZQ_REG_WRONG_TYPE (-4)  // the value has another type; generic read: a type it does not handle

#define ZQ_REG_SECTION_DEFAULT 0x000u
#define ZQ_REG_SECTION_64 0x100u
#define ZQ_REG_SECTION_32 0x200u

// ---- Reads -----------------------------------------------------------------
//
// DWORD reads: the system writes the 4 bytes straight into *pdwValue; a value of
// another type gives ZQ_REG_WRONG_TYPE and leaves in *pdwValue whatever the
// query wrote (a longer value fails the query: ZQ_REG_ERROR).
//
// String, multi-string and binary reads: *pcbData is the buffer's size in,
// the value's size out (written as soon as the query succeeds, also when the
// type is wrong). A null buffer is a size query. The data are the stored bytes
// exactly: no terminator is added. ZQ_REG_MORE_DATA leaves *pcbData as it was.
// REG_EXPAND_SZ is not a string here: it gives ZQ_REG_WRONG_TYPE.

ZQPLATUTIL_C_API int zqRegReadDWORDValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            DWORD* pdwValue, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadDWORDValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName,
                                            DWORD* pdwValue, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadDWORDValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                           DWORD* pdwValue, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadDWORDValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                         DWORD* pdwValue);

ZQPLATUTIL_C_API int zqRegReadStringValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                             wchar_t* pszData, DWORD* pcbData, DWORD dwSection);
// Narrow: string data come back in the process's ANSI code page.
ZQPLATUTIL_C_API int zqRegReadStringValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName,
                                             char* pszData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            wchar_t* pszData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                          wchar_t* pszData, DWORD* pcbData);

ZQPLATUTIL_C_API int zqRegReadMultiStringValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                                  wchar_t* pszData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadMultiStringValueExA(HKEY hRoot, const char* pszKey, const char* pszValueName,
                                                  char* pszData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadMultiStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                                 wchar_t* pszData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadMultiStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                               wchar_t* pszData, DWORD* pcbData);

ZQPLATUTIL_C_API int zqRegReadBinaryValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            BYTE* pbData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadBinaryValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                          BYTE* pbData, DWORD* pcbData);

// Generic read. Without a buffer: *pdwType receives the stored type (any type)
// and *pcbData its size. With a buffer: *pdwType chooses the typed read that
// does the work (REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ or REG_QWORD;
// for REG_DWORD and REG_QWORD the buffer holds the value and *pcbData is
// neither read nor written); any other type gives ZQ_REG_WRONG_TYPE.
ZQPLATUTIL_C_API int zqRegReadValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwType,
                                      void* pData, DWORD* pcbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegReadValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, DWORD* pdwType,
                                    void* pData, DWORD* pcbData);

// ---- Writes ----------------------------------------------------------------
//
// The key is created when it is missing, with every missing parent, and opened
// when it exists. The size goes to the system unchanged: it holds whatever
// terminators the stored value is to keep (the wide terminator of a REG_SZ;
// each string's terminator and the closing empty string of a REG_MULTI_SZ).
// The library neither measures nor terminates the data, and does not check the
// data pointer (the system answers for it). Status: ZQ_REG_OK, ZQ_REG_ERROR or
// ZQ_REG_BAD_ARGUMENT (section, or a null pszKey).

ZQPLATUTIL_C_API int zqRegWriteDWORDValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                            DWORD dwValue, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegWriteDWORDValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                          DWORD dwValue);
ZQPLATUTIL_C_API int zqRegWriteStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                             const wchar_t* pszData, DWORD cbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegWriteStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                           const wchar_t* pszData, DWORD cbData);
ZQPLATUTIL_C_API int zqRegWriteMultiStringValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                                  const wchar_t* pszData, DWORD cbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegWriteMultiStringValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                                const wchar_t* pszData, DWORD cbData);
ZQPLATUTIL_C_API int zqRegWriteBinaryValueEx(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                             const BYTE* pbData, DWORD cbData, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegWriteBinaryValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                           const BYTE* pbData, DWORD cbData);

// ---- Listings --------------------------------------------------------------
//
// The count is in/out: the array's capacity in elements on entry (a signed
// number: 0 or less stores nothing), the number of names walked on success.
// Element i always belongs to enumeration index i. A null array only counts,
// with no limit and no filter. A full array stops the walk and the count is
// the capacity. The value listing's filter (a REG_* type, or
// ZQ_REG_ANY_TYPE) decides which elements are written; an element that it
// refuses stays as the caller left it, yet is counted.
// A key without values (or subkeys) gives ZQ_REG_ERROR. On every failure the
// count is left unwritten; elements written before it stay written.
// A walk also ends when the key is deleted under it (every further index
// would fail the same way).

#define ZQ_REG_VALUE_NAME_CCH 260   // a value entry's name, terminator included
#define ZQ_REG_SUBKEY_NAME_CCH 255  // a subkey slot's name, terminator included
#define ZQ_REG_ANY_TYPE 0xFFFFFFFFu

// One element of the value listing's array.
typedef struct ZQ_REG_VALUE_ENTRY {
  wchar_t szName[ZQ_REG_VALUE_NAME_CCH];  // terminated
  DWORD dwType;                           // REG_* code
} ZQ_REG_VALUE_ENTRY;

// One element of the subkey listing's array.
typedef struct ZQ_REG_SUBKEY_SLOT {
  wchar_t szName[ZQ_REG_SUBKEY_NAME_CCH];  // terminated
} ZQ_REG_SUBKEY_SLOT;

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(wchar_t) == 2, "names are UTF-16");
static_assert(offsetof(ZQ_REG_VALUE_ENTRY, szName) == 0, "value entry layout");
static_assert(offsetof(ZQ_REG_VALUE_ENTRY, dwType) == 520, "value entry layout");
static_assert(sizeof(ZQ_REG_VALUE_ENTRY) == 524, "value entry layout");
static_assert(sizeof(ZQ_REG_SUBKEY_SLOT) == 510, "subkey slot layout");
#else
#include <stddef.h>
_Static_assert(offsetof(ZQ_REG_VALUE_ENTRY, dwType) == 520, "value entry layout");
_Static_assert(sizeof(ZQ_REG_VALUE_ENTRY) == 524, "value entry layout");
_Static_assert(sizeof(ZQ_REG_SUBKEY_SLOT) == 510, "subkey slot layout");
#endif

ZQPLATUTIL_C_API int zqRegListValueNamesEx(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_VALUE_ENTRY* pEntries,
                                           int* pnValueCount, DWORD dwTypeFilter, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegListValueNames(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_VALUE_ENTRY* pEntries,
                                         int* pnValueCount, DWORD dwTypeFilter);
ZQPLATUTIL_C_API int zqRegListKeysEx(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_SUBKEY_SLOT* pSubKeys,
                                     int* pnSubKeyCount, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegListKeys(HKEY hRoot, const wchar_t* pszKey, ZQ_REG_SUBKEY_SLOT* pSubKeys,
                                   int* pnSubKeyCount);

// ---- Deletions -------------------------------------------------------------
//
// A flag byte is set only when it equals 1.
//
// zqRegDeleteValue: both pszKey and pszValueName are required (deleting the
// default value goes through an empty name).
//
// zqRegDeleteKey: the view is the section, or the 32-bit view when the section
// is 0. Not recursive: the key must have no subkeys. Recursive: the whole
// subtree goes, through the platform's tree deletion in the process's default
// view when the platform has it (the section then plays no part), else through
// zqRegDeleteSubKey.
//
// zqRegDeleteSubKey: deletes every subkey below pszKey and, when bDeleteSelf
// is 1, the key itself; the key's own values stay when it is kept. The section
// is checked but not applied: keys are opened and deleted in the default view.
// A subkey that cannot be deleted ends the walk; the status is then ZQ_REG_OK
// when the key is kept, ZQ_REG_ERROR when it was to be deleted. A subkey whose
// full path does not fit in 779 characters cannot be deleted this way and ends
// the walk like one that is denied. Unlike the platform's calls, a null pszKey
// is rejected (ZQ_REG_BAD_ARGUMENT): it would name the root itself.

ZQPLATUTIL_C_API int zqRegDeleteValue(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName,
                                      DWORD dwSection);
ZQPLATUTIL_C_API int zqRegDeleteKey(HKEY hRoot, const wchar_t* pszKey, BYTE bRecursive, DWORD dwSection);
ZQPLATUTIL_C_API int zqRegDeleteSubKey(HKEY hRoot, const wchar_t* pszKey, DWORD dwSection, BYTE bDeleteSelf);
