#include "vjoy/biking.h"

#include "engine/hub.h"

namespace hub {

void initBikingThresholds(Hub&) {}
void runBikingStage(Hub&) {}
void sendBikingDatagram(Hub&) {}

}  // namespace hub
