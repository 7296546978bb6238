// Mode 7, "Flight Sim": foot twists steer, foot tilts drive toe pedals, circling the gamepad's first stick sets three dials.
#pragma once

namespace hub {

struct Hub;

void runFlightSimStage(Hub& hub);
void sendFlightSimDatagram(Hub& hub);

}  // namespace hub
