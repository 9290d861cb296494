// Every test program fails when it crashes: Wine's debugger, started for an
// unhandled exception, can let the process end with exit code 0.
#include <windows.h>

namespace {

LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

const LPTOP_LEVEL_EXCEPTION_FILTER kPrevious = SetUnhandledExceptionFilter(ExitOnCrash);

}  // namespace
