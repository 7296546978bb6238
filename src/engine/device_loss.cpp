#include "engine/device_loss.h"

#include "base/controls.h"
#include "links/locomotion_datagrams.h"

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

void followStepdeckLoss(DeviceLoss& loss, bool read, DatagramSocket& socket, Window& window) {
    if (!noteRead(loss, read)) return;
    if (read) {
        window.setText(control::kStepdeckStatus, "");
        return;
    }
    // A consumer that holds its last value would otherwise keep walking.
    sendLocomotionDatagrams(socket, kStandingStill);
    window.setText(control::kStepdeckStatus, "Stepdeck lost");
}

}  // namespace hub
