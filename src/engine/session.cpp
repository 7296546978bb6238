#include "engine/session.h"

#include "engine/hub.h"
#include "links/locomotion_datagrams.h"

namespace hub {

namespace {
constexpr float kStrideConstant = 4.8f;
}  // namespace

void startUp(Hub& hub) {
    sendGreetings(hub.edges.socket);
    hub.state.advanced.strideConstant = kStrideConstant;
}

void shutDown(Hub& hub) { hub.devices = {}; }

}  // namespace hub
