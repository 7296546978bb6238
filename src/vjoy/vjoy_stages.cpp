#include "vjoy/vjoy_stages.h"

#include <string_view>

#include "engine/controls.h"
#include "engine/hub.h"
#include "engine/locomotion.h"
#include "engine/text_format.h"
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

void showThrottleAndBrake(Hub& hub) {
    showFixed(hub.edges.window, control::kThrottleValue, hub.state.vjoy.throttle);
    showFixed(hub.edges.window, control::kBrakeValue, hub.state.vjoy.brake);
}

}  // namespace

std::string_view vjoyModeLabel(int mode) {
    switch (mode) {
        case 2: return "4-way-mov";
        case 5: return "Skate";
        case 6: return "Diff. Pedal n Brake";
        case 7: return "Flight Sim";
        case 9: return "Biking";
        default: return "";
    }
}

namespace {

// Rewritten only when the mode changed since the last write.
void showVjoyModeLabel(Hub& hub) {
    const int mode = hub.state.dialog.vjoyMode;
    if (mode == hub.state.vjoy.shownMode) return;
    hub.state.vjoy.shownMode = mode;
    Window& window = hub.edges.window;
    window.setText(control::kVjoyModeName, vjoyModeLabel(mode));
    if (mode == 9) {
        window.setText(control::kSteeringCaption, "Cycle:");
        showLong(window, control::kSteeringValue, 0);  // until the next counted cycle
    } else {
        window.setText(control::kSteeringCaption, "Steering:");
    }
}

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
