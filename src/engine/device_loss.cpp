#include "engine/device_loss.h"

namespace hub {

bool noteRead(DeviceLoss& loss, bool read) {
    const bool lost = !read;
    if (loss.lost == lost) return false;
    loss = DeviceLoss{};  // a new loss starts its own clock
    loss.lost = lost;
    return true;
}

bool searchDue(DeviceLoss& loss, std::uint64_t now) {
    if (!loss.lost) return false;
    if (!loss.since) loss.since = now;
    const bool due = loss.lastSearch ? now >= *loss.lastSearch + kSearchIntervalMs
                                     : now > *loss.since + kSearchIntervalMs;
    if (due) loss.lastSearch = now;
    return due;
}

}  // namespace hub
