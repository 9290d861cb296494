// Leak detection under Wine, where GetProcessHandleCount answers 0: Wine hands
// out the lowest free handle value, so a handle leaked between two probes
// shows as a higher value at the second one.
#pragma once

#include <cstdint>

namespace zqtest {

// Creates and closes an event and returns the value its handle had.
uintptr_t ProbeHandleValue();

}  // namespace zqtest
