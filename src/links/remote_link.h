// The remote-app link on port 45041: what the listener thread decodes from
// the remote app, port registrants, port queriers and the feeder enable, and
// what the tick answers.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/edges.h"

namespace hub {

struct Hub;

// The listener's receive buffer; a longer datagram is ignored whole.
inline constexpr std::size_t kReceiveBufferSize = 512;

// Where the connection reply and the status datagrams go until a remote app
// says hello: the feeder's endpoint.
inline constexpr Endpoint kDefaultRemoteAppEndpoint{kLoopback, 45042};

// An endpoint as one atomic scalar: address in bits 16 ... 47, port below.
class AtomicEndpoint {
public:
    explicit AtomicEndpoint(Endpoint initial) : packed_(pack(initial)) {}
    Endpoint load(std::memory_order order) const {
        const std::uint64_t packed = packed_.load(order);
        return {static_cast<std::uint32_t>(packed >> 16), static_cast<std::uint16_t>(packed)};
    }
    void store(Endpoint endpoint, std::memory_order order) { packed_.store(pack(endpoint), order); }

private:
    static std::uint64_t pack(Endpoint endpoint) {
        return (std::uint64_t{endpoint.address} << 16) | endpoint.port;
    }
    std::atomic<std::uint64_t> packed_;
};

// Shared by the listener thread and the tick: every value both touch is one
// atomic. The listener sets the flags (release, after the values they cover)
// and the tick clears them (release); each reads the other's flags with
// acquire before it reads what they cover.
struct RemoteState {
    std::atomic<std::uint64_t> latestTickNow{0};  // the tick's clock, for the listener's stamps

    // The remote app. The listener writes the endpoint only while not
    // connected, and before it raises `connected`; the tick reads it only
    // after seeing `connected` raised.
    AtomicEndpoint appEndpoint{kDefaultRemoteAppEndpoint};
    std::atomic<bool> connected{false};
    std::atomic<std::uint64_t> lastSeen{0};  // last keep-alive or inputs, or the connection reply
    std::atomic<float> steering{0.0f};       // (byte 1 - 128) / 128
    std::atomic<std::uint8_t> buttons{0};    // bits A B X Y T1 T2
    std::atomic<std::uint8_t> axis3{0};
    std::atomic<std::uint8_t> axis4{0};

    std::atomic<bool> feederEnabled{false};  // never lowered

    // Port registration: the three digit bytes as received, packed
    // (digit 1 in bits 16 ... 23); the port is computed from them.
    std::atomic<std::uint32_t> registeredPortDigits{0};
    std::atomic<bool> registeredPortValid{false};
    std::atomic<std::uint64_t> registeredPortLastSeen{0};

    std::atomic<bool> portQueryPending{false};
    std::atomic<std::uint16_t> portQueryReplyPort{0};

    // Touched by the tick alone.
    bool announced = false;  // the connection reply went out and the status shows it
    std::uint64_t statusTime = 0;
    std::array<std::uint8_t, 8> lastStatus{};
    std::uint64_t keepAliveTime = 0;
};

// The port that three base-100 digit bytes (each read as a signed 8-bit
// number) give: the low 16 bits of (d1 * 100 + d2) * 100 + d3.
std::uint16_t portFromDigits(std::uint8_t d1, std::uint8_t d2, std::uint8_t d3);

// The listener's decoder: applies one received datagram of `length` bytes
// from `from`, stamping times with the latest tick's clock. Bytes beyond the
// length read as 0. A datagram longer than the receive buffer, and a message
// that would make the hub answer to port 0, are ignored whole. Both the
// Windows listener thread and the replay tool call it.
void applyRemoteDatagram(RemoteState& remote, const std::uint8_t* bytes, std::size_t length,
                         const Endpoint& from);

// Tick stages: registration keep-alive, query reply and feeder acknowledgement
// (A); connection reply, time-out and status datagram (B). A failed send to a
// peer never ends the process: the connection or registration is dropped, a
// query reply is lost.
void runRemoteStageA(Hub& hub);
void runRemoteStageB(Hub& hub);

}  // namespace hub
