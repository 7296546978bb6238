#include "engine/at_rest.h"

#include "base/controls.h"
#include "engine/hub.h"
#include "links/locomotion_datagrams.h"

namespace hub {

namespace {

enum class SendCheck { Tested, Untested };

// A per-mode datagram is sent only once the feeder is enabled and has had
// its acknowledgement, so one sent in this run says both.
void releaseFeeder(Hub& hub, std::uint64_t now, SendCheck check) {
    HubState& state = hub.state;
    if (!state.feeder.lastSent) return;
    const VjoyModeRow& mode = vjoyModeRow(state.vjoy.fedMode);
    const auto released = atRest(*state.feeder.lastSent, mode.restBytes);
    if (!released) return;
    if (check == SendCheck::Tested) {
        sendToFeeder(hub.edges.socket, hub.edges.process, released->view());
    } else {
        hub.edges.socket.sendTo(wire::kFeederEndpoint, released->view());
    }
    recordPerModeDatagram(state.feeder, *released, now);
    if (mode.fedAtRest != nullptr) mode.fedAtRest(state.vjoy);
}

void bringToRest(Hub& hub, std::uint64_t now, SendCheck check) {
    sendLocomotionDatagrams(hub.edges.socket, kStandingStill);
    releaseFeeder(hub, now, check);
}

}  // namespace

void followStepdeckLost(Hub& hub, std::uint64_t now) {
    if (!noteRead(hub.state.deckLoss, false)) return;
    bringToRest(hub, now, SendCheck::Tested);
    hub.edges.window.setText(control::kStepdeckStatus, "Stepdeck lost");
}

void followStepdeckRead(Hub& hub) {
    if (noteRead(hub.state.deckLoss, true)) hub.edges.window.setText(control::kStepdeckStatus, "");
}

void bringToRestAtEnd(Hub& hub) {
    if (!hub.state.deckLoss.lost) bringToRest(hub, hub.state.remote.latestTickNow.load(), SendCheck::Untested);
}

}  // namespace hub
