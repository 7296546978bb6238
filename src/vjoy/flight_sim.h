// Mode 7, "Flight Sim": foot twists steer, foot tilts drive toe pedals, circling the gamepad's first stick sets three dials.
#pragma once

namespace hub {

struct Hub;

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct FlightSimState {};

void runFlightSimStage(Hub& hub);
void sendFlightSimDatagram(Hub& hub);

}  // namespace hub
