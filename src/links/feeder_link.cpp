#include "links/feeder_link.h"

#include <cmath>
#include <cstdlib>

#include "engine/hub.h"
#include "links/endpoints.h"
#include "vjoy/biking.h"
#include "vjoy/flight_sim.h"
#include "vjoy/pedal_brake.h"
#include "vjoy/skate.h"

namespace hub {

namespace {

constexpr std::uint64_t kRepeatMs = 3000;

std::uint8_t limitedByte(float value) {
    const float floored = std::floor(value);
    if (!(floored > 0.0f)) return 0;  // negatives and NaN
    if (floored >= 255.0f) return 255;
    return static_cast<std::uint8_t>(floored);
}

int signedByte(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

// Bytes 1 ... 7 of a per-mode datagram as the change rule sees and records
// them: the 7-byte 4-way datagram's missing byte 7 is 0.
std::array<std::uint8_t, 7> comparedBytes(std::span<const std::uint8_t> datagram) {
    std::array<std::uint8_t, 7> bytes{};
    for (std::size_t i = 1; i < datagram.size() && i <= bytes.size(); ++i) bytes[i - 1] = datagram[i];
    return bytes;
}

}  // namespace

std::uint8_t centredByte(float value) { return limitedByte(value * 127.0f + 128.0f); }
std::uint8_t unitByte(float value) { return limitedByte(value * 255.0f); }
std::uint8_t offsetByte(float value) { return limitedByte((value + 1.0f) * 128.0f); }

bool bytesMoved(std::span<const std::uint8_t> current, std::span<const std::uint8_t> last,
                int exactIndex) {
    for (std::size_t i = 0; i < current.size(); ++i) {
        if (static_cast<int>(i) == exactIndex && current[i] != last[i]) return true;
        if (std::abs(signedByte(current[i]) - signedByte(last[i])) > 3) return true;
        if (std::abs(static_cast<int>(current[i]) - static_cast<int>(last[i])) > 3) return true;
    }
    return false;
}

bool feederDatagramDue(const FeederState& feeder, std::span<const std::uint8_t> datagram,
                       int exactByte, std::uint64_t now) {
    if (now - feeder.lastSendTime > kRepeatMs) return true;
    const int exactIndex = exactByte == kNoExactByte ? kNoExactByte : exactByte - 1;
    return bytesMoved(comparedBytes(datagram), feeder.lastBytes, exactIndex);
}

void sendUnderChangeRule(Hub& hub, std::span<const std::uint8_t> datagram, int exactByte) {
    FeederState& feeder = hub.state.feeder;
    const std::uint64_t now = hub.state.tick.now;
    if (!feederDatagramDue(feeder, datagram, exactByte, now)) return;
    feeder.lastBytes = comparedBytes(datagram);
    sendTested(hub, kFeederEndpoint, datagram);
    feeder.lastSendTime = now;
}

void sendJoystickStateNow(Hub& hub, const std::array<std::uint8_t, 8>& datagram) {
    sendTested(hub, kFeederEndpoint, datagram);
    hub.state.feeder.lastSendTime = hub.state.tick.now;
}

std::array<std::uint8_t, 7> buildFourWayDatagram(std::uint8_t stickXByte, std::uint8_t stickYByte,
                                                 std::uint8_t axis3, std::uint8_t axis4,
                                                 std::uint8_t buttons) {
    return {0x02, 0x01, stickXByte, stickYByte, axis3, axis4, buttons};
}

bool sendStopDatagram(Hub& hub) {
    static constexpr std::array<std::uint8_t, 2> kStop{100, 0};  // 100, little-endian
    return hub.edges.socket.sendTo(kFeederEndpoint, kStop);
}

void acknowledgeFeeder(Hub& hub) {
    if (!hub.state.remote.feederEnabled.load() || hub.state.feeder.acknowledged) return;
    static constexpr std::array<std::uint8_t, 2> kAcknowledgement{1, 0};
    sendTested(hub, kFeederEndpoint, kAcknowledgement);
    hub.state.feeder.acknowledged = true;
}

namespace {

void sendFourWayDatagram(Hub& hub) {
    const TickValues& tick = hub.state.tick;
    const RemoteState& remote = hub.state.remote;
    const auto datagram = buildFourWayDatagram(
        static_cast<std::uint8_t>(tick.stickXByte), static_cast<std::uint8_t>(tick.stickYByte),
        remote.axis3.load(), remote.axis4.load(), remote.buttons.load());
    sendUnderChangeRule(hub, datagram, 6);
}

}  // namespace

void sendFeederDatagram(Hub& hub) {
    if (!hub.state.remote.feederEnabled.load()) return;
    switch (hub.state.dialog.vjoyMode) {
        case 2: sendFourWayDatagram(hub); break;
        case 5: runSkateAndSend(hub); break;
        case 6: sendPedalDatagram(hub); break;
        case 7: sendFlightSimDatagram(hub); break;
        case 9: sendBikingDatagram(hub); break;
        default: break;
    }
}

}  // namespace hub
