#include "links/feeder_link.h"

#include <cmath>
#include <cstdlib>

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
        if (current[i] == last[i]) continue;
        if (static_cast<int>(i) == exactIndex) return true;
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

void sendToFeeder(DatagramSocket& socket, Process& process, std::span<const std::uint8_t> bytes) {
    if (!socket.sendTo(wire::kFeederEndpoint, bytes)) process.exitNow(1);
}

void recordPerModeDatagram(FeederState& feeder, const FeederDatagram& datagram, std::uint64_t now) {
    if (!datagram.sendAtOnce) feeder.lastBytes = comparedBytes(datagram.view());
    feeder.lastSendTime = now;
    feeder.lastSent = datagram;
}

bool sendPerModeDatagram(FeederState& feeder, const FeederDatagram& datagram, std::uint64_t now,
                         DatagramSocket& socket, Process& process) {
    if (!datagram.sendAtOnce && !feederDatagramDue(feeder, datagram.view(), datagram.exactByte, now)) return false;
    sendToFeeder(socket, process, datagram.view());
    recordPerModeDatagram(feeder, datagram, now);
    return true;
}

std::optional<FeederDatagram> atRest(const FeederDatagram& datagram, std::span<const wire::RestByte> restBytes) {
    FeederDatagram rested = datagram;
    for (const wire::RestByte& rest : restBytes) {
        if (rest.offset < rested.length) rested.bytes[rest.offset] = rest.value;
    }
    if (rested.bytes == datagram.bytes) return std::nullopt;
    return rested;
}

bool sendStopDatagram(DatagramSocket& socket) { return socket.sendTo(wire::kFeederEndpoint, wire::kFeederStop); }

void acknowledgeFeeder(FeederState& feeder, bool feederEnabled, DatagramSocket& socket, Process& process) {
    if (!feederEnabled || feeder.acknowledged) return;
    sendToFeeder(socket, process, wire::kFeederAcknowledgement);
    feeder.acknowledged = true;
}

}  // namespace hub
