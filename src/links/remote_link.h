// The remote-app link on port 45041: what the listener's decoder takes from
// the remote app, port registrants, port queriers and the feeder enable, and
// what the tick answers.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "base/edges.h"
#include "links/wire.h"

namespace hub {

struct StatusValues;

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

// The remote app's inputs. The listener thread writes them from the remote
// app's input messages; the tick overwrites them in the modes whose feeder
// datagram takes them over. Each is read afresh where it is used.
struct RemoteInputs {
    std::atomic<float> steering{0.0f};     // (byte 1 - 128) / 128
    std::atomic<std::uint8_t> buttons{0};  // bits A B X Y T1 T2
    std::atomic<std::uint8_t> axis3{0};
    std::atomic<std::uint8_t> axis4{0};
};

// What the listener's decoder and the tick share ("the listener" below is
// the decoder). The listener thread itself only queues the datagrams; every
// timer message applies them before its tick, so both sides run on the
// user-interface thread, one after the other. Every value is still one
// atomic with the orders below, as when the listener thread decoded: the
// listener sets the flags (release, after the values they cover) and the
// tick clears them (release); each reads the other's flags with acquire
// before it reads what they cover.
struct RemoteState {
    // Written by the tick (its clock, once per tick), read by the listener for its stamps.
    std::atomic<std::uint64_t> latestTickNow{0};

    // The remote app. The listener writes the endpoint only while not
    // connected, and before it raises `connected`; the tick reads it only
    // after seeing `connected` raised, and lowers `connected` when it drops
    // the app.
    AtomicEndpoint appEndpoint{wire::kDefaultRemoteAppEndpoint};
    std::atomic<bool> connected{false};
    // Stamped by the listener (keep-alive or inputs) and by the tick (connection reply).
    std::atomic<std::uint64_t> lastSeen{0};
    RemoteInputs inputs;

    // Raised by the listener, never lowered.
    std::atomic<bool> feederEnabled{false};

    // Port registration, written by the listener: the three digit bytes as
    // received, packed (digit 1 in bits 16 ... 23); the port is computed from
    // them. The tick lowers `registeredPortValid` when the registration lapses.
    std::atomic<std::uint32_t> registeredPortDigits{0};
    std::atomic<bool> registeredPortValid{false};
    std::atomic<std::uint64_t> registeredPortLastSeen{0};

    // Raised by the listener, taken by the tick.
    std::atomic<bool> portQueryPending{false};
    std::atomic<std::uint16_t> portQueryReplyPort{0};
};

// The tick's own state of the link, touched by the tick alone.
struct RemoteReplyState {
    bool announced = false;  // the connection reply went out and the status shows it
    std::uint64_t statusTime = 0;
    std::array<std::uint8_t, wire::kStatusLength> lastStatus{};
    std::uint64_t keepAliveTime = 0;
};

// The port that three base-100 digit bytes (each read as a signed 8-bit
// number) give: the low 16 bits of (d1 * 100 + d2) * 100 + d3.
std::uint16_t portFromDigits(std::uint8_t d1, std::uint8_t d2, std::uint8_t d3);
// The port the latest registration names (valid while `registeredPortValid`).
std::uint16_t registeredPort(const RemoteState& remote);

// The listener's decoder: applies one received datagram of `length` bytes
// from `from`, stamping times with the latest tick's clock. Bytes beyond the
// length read as 0. A datagram longer than the receive buffer, and a message
// that would make the hub answer to port 0, are ignored whole. Both the
// Windows listener thread and the replay tool call it.
void applyRemoteDatagram(RemoteState& remote, const std::uint8_t* bytes, std::size_t length,
                         const Endpoint& from);

// The status datagram: 1F, then the values' seven bytes.
std::array<std::uint8_t, wire::kStatusLength> buildStatusDatagram(const StatusValues& values);

// Tick stages. A failed send to a peer never ends the process: the
// registration or the connection is dropped, a query reply is lost.
// The registration keep-alive every 5 s, and the lapse after 10 s of silence.
void serveRegistration(RemoteState& remote, RemoteReplyState& replies, std::uint64_t now, DatagramSocket& socket);
// The reply to a pending port query.
void answerPortQuery(RemoteState& remote, DatagramSocket& socket);
// The connection reply to a new remote app, its time-out, and the status
// datagram when it changed or is due for its repeat.
void serveRemoteApp(RemoteState& remote, RemoteReplyState& replies, const StatusValues& status, std::uint64_t now,
                    DatagramSocket& socket, Window& window);

}  // namespace hub
