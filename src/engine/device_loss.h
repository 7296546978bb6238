// A device the tick cannot read is lost until a tick reads it again (a lost
// Stepdeck brings the consumers to rest: engine/at_rest.h). A lost device is
// searched for once it has been lost for more than a second, then whenever
// Windows reports that the devices changed (at most once a second), and every
// five seconds for a report that never comes; one search of a device at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace hub {

// The first search waits this long: a device back sooner is read again
// without one.
inline constexpr std::uint64_t kFirstSearchAfterMs = 1000;
// Searches after a report that the devices changed are at least this far apart.
inline constexpr std::uint64_t kSearchAfterChangeMs = 1000;
// Without such a report, a search every this long.
inline constexpr std::uint64_t kFallbackSearchMs = 5000;

struct DeviceLoss {
    bool lost = false;
    std::optional<std::uint64_t> since;       // the first search check of this loss
    std::optional<std::uint64_t> lastSearch;  // when the latest search of this loss started
    bool devicesChanged = false;              // reported since the latest search started
    // A search runs; the device is released meanwhile, so the loss cannot end.
    bool searching = false;
};

// The tick read the device, or failed to: true when that begins or ends a loss.
bool noteRead(DeviceLoss& loss, bool read);

// Windows reported that the devices changed: a lost device is searched for
// again (a report before the loss changes nothing).
void noteDevicesChanged(DeviceLoss& loss);

// True when a search is due at `now` and none runs; the search then counts as
// started.
bool searchDue(DeviceLoss& loss, std::uint64_t now);

}  // namespace hub
