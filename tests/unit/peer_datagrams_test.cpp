// The decoders peers use must read every datagram exactly as the hub builds
// it, and the messages peers build must mean to the listener what they say.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "links/feeder_link.h"
#include "links/locomotion_datagrams.h"
#include "links/peer_datagrams.h"
#include "links/remote_link.h"

namespace hub {
namespace {

HubDatagram decoded(std::vector<std::uint8_t> bytes) { return decodeHubDatagram(bytes); }
HubMessage message(std::vector<std::uint8_t> bytes) { return decodeHubMessage(bytes); }

TEST(PeerDatagrams, XdrvValuesComeBackBitForBitFromTheHubsOwnBuilder) {
    for (float x : {0.0f, 0.6f, -1.05f, 1e-30f, -0.0f}) {
        const auto xdrv = std::get<XdrvPosition>(decodeHubDatagram(buildXdrvDatagram(x, 0.9999f)));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(xdrv.x), std::bit_cast<std::uint32_t>(x));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(xdrv.y), std::bit_cast<std::uint32_t>(0.9999f));
    }
    auto wrongTrailer = buildXdrvDatagram(0.0f, 0.0f);
    wrongTrailer[24] = 4;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(decodeHubDatagram(wrongTrailer)));
}

TEST(PeerDatagrams, StickAndFourWayBytesAreNotSwapped) {
    const auto stick = std::get<StickPosition>(decoded({0x2A, 0x10, 0x2B, 0xCC, 0x00}));
    EXPECT_EQ(stick.x, 0x10);
    EXPECT_EQ(stick.y, 0xCC);
    const auto fourWay = std::get<FourWayValues>(decodeHubDatagram(buildFourWayDatagram(1, 2, 3, 4, 5)));
    EXPECT_EQ((std::array{fourWay.x, fourWay.y, fourWay.axis3, fourWay.axis4, fourWay.buttons}),
              (std::array<std::uint8_t, 5>{1, 2, 3, 4, 5}));
    const auto status = std::get<StatusValues>(decoded({31, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ((std::array{status.stickX, status.stickY, status.headingRF, status.tiltRF, status.headingLF,
                          status.tiltLF, status.touchMask}),
              (std::array<std::uint8_t, 7>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(PeerDatagrams, TheExactLengthDecidesNotJustTheFirstByte) {
    EXPECT_TRUE(std::holds_alternative<GreetingDatagram>(decoded({1, 3, 2, 0x6F, 0})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(decoded({1, 3, 2, 0x6F})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(decoded({0x16, 1, 2, 3, 4, 5, 6})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(decoded({0x2A, 0x80, 0x2B, 0x80, 0x01})));
    EXPECT_TRUE(std::holds_alternative<FeederAcknowledgementDatagram>(decoded({1, 0})));
    EXPECT_TRUE(std::holds_alternative<ConnectionReplyDatagram>(decoded({1, 2})));
    EXPECT_TRUE(std::holds_alternative<FeederStopDatagram>(decoded({100, 0})));
    EXPECT_TRUE(std::holds_alternative<RegistrationKeepAliveDatagram>(decoded({21, 1})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(decoded({})));
}

TEST(PeerDatagrams, QueryReplyWithoutRegistrationIsPortZeroAndDigitsAreSigned) {
    EXPECT_EQ(std::get<QueryReplyValues>(decoded({21, 2, 0, 0, 0})).port, 0);
    EXPECT_EQ(std::get<QueryReplyValues>(decoded({21, 2, 5, 5, 0})).port, 50500);
    EXPECT_EQ(std::get<QueryReplyValues>(decoded({21, 2, 4, 50, 200})).port, 44944);
}

TEST(PeerDatagrams, MessagesDecodeAsTheListenerReadsThem) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(message({1, 3, 4, 50})));  // hello too short
    EXPECT_EQ(std::get<HelloWithPortMessage>(message({1, 3, 4, 50, 200})).replyPort, 44944);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(message({21, 1, 0, 0, 0})));  // port 0
    EXPECT_TRUE(std::holds_alternative<std::monostate>(message({1, 9})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(message(std::vector<std::uint8_t>(513, 32))));
    const auto shortInputs = std::get<InputsMessage>(message({32, 128, 5, 255, 0}));
    EXPECT_FALSE(shortInputs.hasAxes);
    EXPECT_EQ(shortInputs.buttons, 5);
    const auto oneByte = std::get<InputsMessage>(message({32}));
    EXPECT_EQ(steeringFromByte(oneByte.steeringByte), -1.0f);  // missing bytes read as 0
    const auto fullInputs = std::get<InputsMessage>(message({32, 0, 0, 0, 0, 7, 9, 0, 0}));
    EXPECT_TRUE(fullInputs.hasAxes);
    EXPECT_EQ(fullInputs.axis3, 7);
    EXPECT_EQ(fullInputs.axis4, 9);
}

TEST(PeerDatagrams, PortDigitsRoundTripAtEveryCarry) {
    for (unsigned port : {1u, 99u, 100u, 9999u, 10000u, 45041u, 50500u, 65535u}) {
        const auto digits = portDigits(static_cast<std::uint16_t>(port));
        EXPECT_EQ(portFromDigits(digits[0], digits[1], digits[2]), port);
    }
    EXPECT_EQ(portDigits(45041), (std::array<std::uint8_t, 3>{4, 50, 41}));
}

TEST(PeerDatagrams, BuiltMessagesDoToTheListenerWhatTheySay) {
    RemoteState remote;
    const Endpoint from{kLoopback, 50000};
    const auto apply = [&](std::span<const std::uint8_t> bytes) {
        applyRemoteDatagram(remote, bytes.data(), bytes.size(), from);
    };
    apply(buildHelloWithPort(45050));
    EXPECT_EQ(remote.appEndpoint.load(std::memory_order_relaxed), (Endpoint{kLoopback, 45050}));
    apply(buildInputs(64, 0x21, 200, 7));
    EXPECT_EQ(remote.inputs.steering.load(), -0.5f);
    EXPECT_EQ(remote.inputs.buttons.load(), 0x21);
    EXPECT_EQ(remote.inputs.axis3.load(), 200);
    EXPECT_EQ(remote.inputs.axis4.load(), 7);
    apply(buildPortRegistration(50500));
    EXPECT_TRUE(remote.registeredPortValid.load());
    EXPECT_EQ(remote.registeredPortDigits.load(), (5u << 16) | (5u << 8) | 0u);
    apply(buildPortQuery(50501));
    EXPECT_EQ(remote.portQueryReplyPort.load(), 50501);
    apply(buildFeederEnable());
    EXPECT_TRUE(remote.feederEnabled.load());
    remote.lastSeen = 0;
    remote.latestTickNow = 777;
    apply(buildKeepAlive());
    EXPECT_EQ(remote.lastSeen.load(), 777u);
}

TEST(PeerDatagrams, DecodedValuesEncodeBackToTheSameByte) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        if (b >= 1) {  // the centred encoding never gives 0
            EXPECT_EQ(centredByte(decodedValue(wire::ByteEncoding::Centred, byte)), byte) << b;
        }
        EXPECT_EQ(unitByte(decodedValue(wire::ByteEncoding::Unit, byte)), byte) << b;
        EXPECT_EQ(offsetByte(decodedValue(wire::ByteEncoding::Offset, byte)), byte) << b;
    }
}

}  // namespace
}  // namespace hub
