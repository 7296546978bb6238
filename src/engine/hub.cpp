#include "engine/hub.h"

#include "links/feeder_link.h"

namespace hub {

void sendTested(Hub& hub, const Endpoint& to, std::span<const std::uint8_t> bytes) {
    if (!hub.edges.socket.sendTo(to, bytes)) hub.edges.process.exitNow(1);
}

void startUp(Hub& hub) {
    sendGreetings(hub);
    hub.state.advanced.strideConstant = 4.8f;
}

void onTimer(Hub& hub) {
    if (!failed(inputTick(hub))) return;
    sendStopDatagram(hub);
    hub.edges.window.stopTimer();
    hub.edges.window.messageBox("Error Reading Input State. The app will now exit.", "VR Stepdeck Monitor");
    hub.edges.window.endDialog(1);
}

}  // namespace hub
