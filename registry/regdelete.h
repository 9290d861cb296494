// Key deletion with the look-up of its run-time functions made replaceable,
// so that every road of the choice can be taken on a system that has all of
// them.
#pragma once

#include <windows.h>

namespace zq::reg {

// GetProcAddress or a stand-in that answers null for some names.
using ProcLookup = FARPROC (*)(HMODULE module, const char* name);

// zqRegDeleteKey with its functions resolved through `lookup`.
int DeleteKeyResolvedBy(ProcLookup lookup, HKEY root, const wchar_t* key, BYTE recursive, DWORD section);

}  // namespace zq::reg
