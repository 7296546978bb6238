// The vJoy work of one tick: the mode stage, the throttle and brake display,
// the mode labels, the remote link's replies, the per-mode stages, the
// per-mode feeder datagram and the remote app's status, in that order.
#pragma once

#include <string_view>

namespace hub {

struct Hub;

struct VjoyFrameworkState {
    float throttle = 0.0f;  // shown in control 1025
    float brake = 0.0f;     // shown in control 1026
    int shownMode = 0;      // the mode whose label the dialog shows
};

void runVjoyStages(Hub& hub);

// The label control 1027 shows for a vJoy mode; empty for no mode.
std::string_view vjoyModeLabel(int mode);

}  // namespace hub
