// The per-mode state of the vJoy modes. Each lives for the whole process and
// is never reset when the mode changes.
#pragma once

namespace hub {

struct PedalState {};
struct FlightSimState {};
struct BikingState {};
struct SkateState {};

}  // namespace hub
