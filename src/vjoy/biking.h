// Mode 9, "Biking": pedalling cadence as throttle, a resting foot's tilt as steering or brake.
#pragma once

namespace hub {

struct Hub;

void initBikingThresholds(Hub& hub);  // once, on the first tick
void runBikingStage(Hub& hub);
void sendBikingDatagram(Hub& hub);

}  // namespace hub
