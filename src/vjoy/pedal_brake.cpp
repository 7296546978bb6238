#include "vjoy/pedal_brake.h"

#include "engine/hub.h"

namespace hub {

void computePedalValue(Hub&) {}
void routePedal(Hub&) {}
void steerPedalMode(Hub&) {}
void sendPedalDatagram(Hub&) {}

}  // namespace hub
