// The remote-app link on port 45041: what the listener thread decodes from
// the remote app, port registrants, port queriers and the feeder enable, and
// what the tick answers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/edges.h"

namespace hub {

struct Hub;

// Shared by the listener thread and the tick: every value is one atomic.
struct RemoteState {
    std::atomic<std::uint64_t> latestTickNow{0};  // the tick's clock, for the listener's stamps
    std::atomic<float> steering{0.0f};
    std::atomic<std::uint8_t> buttons{0};
    std::atomic<std::uint8_t> axis3{0};
    std::atomic<std::uint8_t> axis4{0};
    std::atomic<bool> feederEnabled{false};
};

// The listener's decoder: applies one received datagram. Both the Windows
// listener thread and the replay tool call it.
void applyRemoteDatagram(RemoteState& remote, const std::uint8_t* bytes, std::size_t length,
                         const Endpoint& from);

// Tick stages: registration keep-alive, query reply and feeder acknowledgement
// (A); connection reply, time-out and status datagram (B).
void runRemoteStageA(Hub& hub);
void runRemoteStageB(Hub& hub);

}  // namespace hub
