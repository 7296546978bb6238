#include "vjoy/vjoy_stages.h"

#include "engine/hub.h"
#include "engine/locomotion.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"
#include "vjoy/biking.h"
#include "vjoy/flight_sim.h"
#include "vjoy/pedal_brake.h"

namespace hub {

namespace {

void runModeStage(Hub& hub) {
    switch (hub.state.dialog.vjoyMode) {
        case 6: routePedal(hub); break;
        case 7: runFlightSimStage(hub); break;
        default: break;
    }
}

void showThrottleAndBrake(Hub&) {}
void showVjoyModeLabel(Hub&) {}

}  // namespace

void runVjoyStages(Hub& hub) {
    runModeStage(hub);
    if (hub.state.dialog.vjoyMode != 9) showThrottleAndBrake(hub);
    showLocomotionModeLabel(hub);
    showVjoyModeLabel(hub);
    runRemoteStageA(hub);
    if (hub.state.dialog.vjoyMode == 6) steerPedalMode(hub);
    if (hub.state.dialog.vjoyMode == 9) runBikingStage(hub);
    sendFeederDatagram(hub);
    runRemoteStageB(hub);
}

}  // namespace hub
