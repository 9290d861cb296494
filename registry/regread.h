// Reads that the library uses inside but does not export.
#pragma once

#include <windows.h>

// QWORD read; callers reach it through zqRegReadValueEx with REG_QWORD.
int zqRegReadQWORDValueExW(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszValueName, ULONGLONG* pullValue,
                           DWORD dwSection);
