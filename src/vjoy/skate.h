// Mode 5, "Skate": pushes, reverse, turns and heading gestures as four skating values.
#pragma once

namespace hub {

struct Hub;

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct SkateState {};

void runSkateAndSend(Hub& hub);

}  // namespace hub
