#include "handles.h"

#include <windows.h>

namespace zqtest {

uintptr_t ProbeHandleValue() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto value = reinterpret_cast<uintptr_t>(event);
  CloseHandle(event);
  return value;
}

}  // namespace zqtest
