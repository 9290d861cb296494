// Leak detection under Wine, where GetProcessHandleCount answers 0: Wine hands
// out the lowest free handle value, so a handle leaked between two probes
// shows as a higher value at the second one.
#pragma once

#include <cstdint>

namespace zqtest {

// Creates and closes a batch of events and returns the highest value their
// handles had.
uintptr_t ProbeHandleValue();

}  // namespace zqtest
