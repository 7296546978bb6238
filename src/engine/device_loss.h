// A device the tick cannot read is lost until a tick reads it again (a lost
// Stepdeck brings the consumers to rest: engine/at_rest.h). A device that
// stays lost for more than a second is searched for again, at most once a
// second.
#pragma once

#include <cstdint>
#include <optional>

namespace hub {

inline constexpr std::uint64_t kSearchIntervalMs = 1000;

struct DeviceLoss {
    bool lost = false;
    std::optional<std::uint64_t> since;       // the first search check of this loss
    std::optional<std::uint64_t> lastSearch;  // the latest search of this loss
};

// The tick read the device, or failed to: true when that begins or ends a loss.
bool noteRead(DeviceLoss& loss, bool read);

// True when a search is due at `now`: the device has been lost for more than
// a second and was not searched for in the last second. The search then
// counts as done.
bool searchDue(DeviceLoss& loss, std::uint64_t now);

}  // namespace hub
