// COM memory helpers of zqplatutilu.dll: release BSTRs and safe arrays with
// their contents overwritten with zeros first.
//
// Both log progress at level 0 and failures at level 1 only (module tag
// "PLATUTIL"). A keep flag of 0 releases after wiping; any other value wipes
// and leaves the string or array allocated.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "zqexport.h"

// Zeroes the string's SysStringByteLen bytes, then frees it unless bKeep.
// A null string is logged and otherwise left alone.
ZQPLATUTIL_C_API void zqSysFreeString(BSTR bstr, BOOL bKeep);

// Wipes a safe array and, unless bKeep, destroys it. The BSTR elements of a
// VT_BSTR array are wiped and freed one by one whatever bKeep says, and their
// slots are zeroed, so a kept array holds only null strings afterwards.
// Returns S_OK (also for a null array), the failure of SafeArrayAccessData or
// SafeArrayUnaccessData, or the result of SafeArrayDestroy.
// When SafeArrayAccessData succeeds without a data pointer, nothing is wiped
// or destroyed, the lock just taken is released again, and the access result
// is returned.
ZQPLATUTIL_C_API HRESULT zqSafeArrayDestroy(SAFEARRAY* psa, BOOL bKeep);
