// The "Advanced" step tracker: tilting one foot engages a direction, then
// alternating releases of the two touch pairs set the walking speed.
#pragma once

namespace hub {

struct Hub;

struct AdvancedTracker {
    float strideConstant = 0.0f;  // 4.8 from start-up on
};

// Tick stage, in the locomotion mode "Advanced" only.
void runAdvancedTracker(Hub& hub);

}  // namespace hub
