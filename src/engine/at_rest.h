// Nothing keeps moving: a loss of the Stepdeck and every end of the hub bring
// what the Stepdeck moves to rest. The VR consumers get the standing-still
// pair; the feeder gets its last per-mode datagram again with the bytes that
// come from the Stepdeck at rest, as the mode that built it lists them, when
// that changes a byte (a consumer that holds its last value would otherwise
// walk or drive on).
#pragma once

#include <cstdint>

namespace hub {

struct Hub;

// Tick stage, in a tick that could not read the Stepdeck: the first such
// tick since the last read (or since start) brings the consumers to rest, its
// feeder datagram tested and counted as the tick's per-mode datagram at
// `now`, and shows "Stepdeck lost".
void followStepdeckLost(Hub& hub, std::uint64_t now);

// Tick stage, in a tick that read the Stepdeck: a loss ends, the label clears.
void followStepdeckRead(Hub& hub);

// Before the hub ends (Escape, the close box, a failed tick): the consumers
// to rest, the sends untested, unless a loss in progress has done it.
void bringToRestAtEnd(Hub& hub);

}  // namespace hub
