#include "links/remote_link.h"

#include "engine/hub.h"
#include "links/feeder_link.h"

namespace hub {

void applyRemoteDatagram(RemoteState& remote, const std::uint8_t* bytes, std::size_t length,
                         const Endpoint& from) {
    (void)from;
    if (length >= 2 && bytes[0] == 1 && bytes[1] == 1) remote.feederEnabled.store(true);
}

void runRemoteStageA(Hub& hub) { acknowledgeFeeder(hub); }

void runRemoteStageB(Hub&) {}

}  // namespace hub
