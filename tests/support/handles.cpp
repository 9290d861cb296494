#include "handles.h"

#include <windows.h>

namespace zqtest {

uintptr_t ProbeHandleValue() {
  // One event alone finds the lowest free value, which a hole left by a handle
  // that was opened and closed hides a leak above; a batch spans the holes.
  constexpr int kBatch = 32;
  HANDLE events[kBatch];
  uintptr_t highest = 0;
  for (HANDLE& event : events) {
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (reinterpret_cast<uintptr_t>(event) > highest) highest = reinterpret_cast<uintptr_t>(event);
  }
  for (HANDLE event : events) CloseHandle(event);
  return highest;
}

}  // namespace zqtest
