// What the installer actions share: the owner of msi.dll while an action
// runs, the property calls resolved from it, and the fixed-size path buffers.
#pragma once

#include <windows.h>
#include <msi.h>

#include <cstdarg>

#include "unique.h"

namespace zq::msi {

// Every path the actions build fits MAX_PATH wide characters with its terminator.
inline constexpr int kPathChars = MAX_PATH;
using PathBuffer = wchar_t[kPathChars];

// Formats into a path buffer. False, with the buffer emptied, when the result
// would not fit with its terminator: a cut-off path names another file.
bool FormatPath(PathBuffer& out, const wchar_t* format, ...);

using zq::UniqueModule;

using MsiGetPropertyFn = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPWSTR, LPDWORD);
using MsiSetPropertyFn = UINT(WINAPI*)(MSIHANDLE, LPCWSTR, LPCWSTR);

// The common start of an action: loads "msi.dll" into `installer` and reads
// "CustomActionData" into `data`, empty or not. 0, the last error of a failed
// load or look-up, or 2 when the property cannot be read into 260 characters.
UINT ReadCustomActionData(MSIHANDLE session, UniqueModule& installer, PathBuffer& data);

}  // namespace zq::msi
