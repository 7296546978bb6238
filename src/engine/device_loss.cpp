#include "engine/device_loss.h"

namespace hub {

bool noteRead(DeviceLoss& loss, bool read) {
    const bool lost = !read;
    if (loss.lost == lost) return false;
    loss = DeviceLoss{};  // a new loss starts its own clock
    loss.lost = lost;
    return true;
}

// A report before the loss is forgotten when the loss begins.
void noteDevicesChanged(DeviceLoss& loss) { loss.devicesChanged = true; }

bool searchDue(DeviceLoss& loss, std::uint64_t now) {
    if (!loss.lost || loss.searching) return false;
    if (!loss.since) loss.since = now;
    bool due = false;
    if (!loss.lastSearch) {
        due = now > *loss.since + kFirstSearchAfterMs;
    } else {
        const std::uint64_t sinceSearch = now - *loss.lastSearch;
        due = sinceSearch >= kFallbackSearchMs || (loss.devicesChanged && sinceSearch >= kSearchAfterChangeMs);
    }
    if (!due) return false;
    loss.lastSearch = now;
    loss.devicesChanged = false;  // this search sees the change; one reported from now on it may miss
    loss.searching = true;
    return true;
}

}  // namespace hub
