#include "vjoy/flight_sim.h"

#include "engine/hub.h"

namespace hub {

void runFlightSimStage(Hub&) {}
void sendFlightSimDatagram(Hub&) {}

}  // namespace hub
