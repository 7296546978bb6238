// Mode 6, "Diff. Pedal n Brake": the feet as accelerator and brake, the gamepad's right stick as steering.
#pragma once

namespace hub {

struct Hub;

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct PedalState {};

void computePedalValue(Hub& hub);
void routePedal(Hub& hub);
void steerPedalMode(Hub& hub);
void sendPedalDatagram(Hub& hub);

}  // namespace hub
