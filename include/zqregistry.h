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
