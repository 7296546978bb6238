// Mode 6, "Diff. Pedal n Brake": the feet as accelerator and brake, the gamepad's right stick as steering.
#pragma once

namespace hub {

struct Hub;

void computePedalValue(Hub& hub);
void routePedal(Hub& hub);
void steerPedalMode(Hub& hub);
void sendPedalDatagram(Hub& hub);

}  // namespace hub
