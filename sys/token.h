// The token queries with the process whose token answers as a parameter, so
// that the fallback to the thread's token can be reached. Internal: the
// exports pass the current process.
#pragma once

#include <windows.h>

namespace zq::sys {

DWORD IntegrityLevelOf(HANDLE process);
bool AppContainerOf(HANDLE process);

}  // namespace zq::sys
