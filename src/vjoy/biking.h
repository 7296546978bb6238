// Mode 9, "Biking": pedalling cadence as throttle, a resting foot's tilt as steering or brake.
#pragma once

namespace hub {

struct Hub;

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct BikingState {};

void initBikingThresholds(Hub& hub);  // once, on the first tick
void runBikingStage(Hub& hub);
void sendBikingDatagram(Hub& hub);

}  // namespace hub
