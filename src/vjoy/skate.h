// Mode 5, "Skate": pushes, reverse, turns and heading gestures as four skating values.
#pragma once

namespace hub {

struct Hub;

void runSkateAndSend(Hub& hub);

}  // namespace hub
