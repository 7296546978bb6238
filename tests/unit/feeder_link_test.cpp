// The feeder link: byte encodings, the change rule, the acknowledgement and
// the 4-way datagram as the tick sends them.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "scripted_edges.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"

namespace hub {
namespace {

using testing::ProcessExit;
using testing::ScriptedHub;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kFeederPort = 45042;

TEST(FeederEncodings, RoundDownNotToNearestAndLimitWithoutWrapping) {
    EXPECT_EQ(centredByte(-1.0f), 1);
    EXPECT_EQ(centredByte(0.0f), 128);
    EXPECT_EQ(centredByte(1.0f), 255);
    EXPECT_EQ(centredByte(0.5f), 191);  // 191.5 rounds down
    EXPECT_EQ(unitByte(0.8f), 204);
    EXPECT_EQ(unitByte(1.2f), 255);     // above the range: 255, not 306 & 0xFF
    EXPECT_EQ(unitByte(-0.25f), 0);     // a negative pedal never wraps to a full one
    EXPECT_EQ(offsetByte(0.0f), 128);
    EXPECT_EQ(offsetByte(1.0f), 255);   // 256 is limited
    EXPECT_EQ(offsetByte(-1.5f), 0);
}

std::array<std::uint8_t, 8> joystickState(std::uint8_t byte, std::size_t at) {
    std::array<std::uint8_t, 8> datagram{0x16, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00, 0x00};
    datagram[at] = byte;
    return datagram;
}

FeederState sentBefore(const std::array<std::uint8_t, 8>& datagram, std::uint64_t at) {
    FeederState feeder;
    for (std::size_t i = 1; i < 8; ++i) feeder.lastBytes[i - 1] = datagram[i];
    feeder.lastSendTime = at;
    return feeder;
}

TEST(FeederChangeRule, MovesOfThreeAreQuietAndFourAreDueAtTheBoundary) {
    const FeederState feeder = sentBefore(joystickState(100, 6), 1000);
    EXPECT_FALSE(feederDatagramDue(feeder, joystickState(103, 6), kNoExactByte, 1000));
    EXPECT_FALSE(feederDatagramDue(feeder, joystickState(97, 6), kNoExactByte, 1000));
    EXPECT_TRUE(feederDatagramDue(feeder, joystickState(104, 6), kNoExactByte, 1000));
    EXPECT_TRUE(feederDatagramDue(feeder, joystickState(96, 6), kNoExactByte, 1000));
}

TEST(FeederChangeRule, SignedComparisonMakes127To128AChange) {
    const FeederState feeder = sentBefore(joystickState(127, 1), 1000);
    EXPECT_TRUE(feederDatagramDue(feeder, joystickState(128, 1), kNoExactByte, 1000));
    EXPECT_TRUE(feederDatagramDue(sentBefore(joystickState(128, 1), 1000), joystickState(127, 1),
                                  kNoExactByte, 1000));
}

TEST(FeederChangeRule, FullScaleBrakeJumpIsDueAtOnceNotAfterTheRepeat) {
    // As signed bytes 0 and 255 are 0 and -1: the jump must still count.
    EXPECT_TRUE(feederDatagramDue(sentBefore(joystickState(0, 6), 1000), joystickState(255, 6), kNoExactByte, 1000));
    EXPECT_TRUE(feederDatagramDue(sentBefore(joystickState(255, 7), 1000), joystickState(0, 7), kNoExactByte, 1000));
    EXPECT_TRUE(feederDatagramDue(sentBefore(joystickState(1, 6), 1000), joystickState(254, 6), kNoExactByte, 1000));
}

TEST(FeederChangeRule, OnlyTheExactCompareByteReactsToAStepOfOne) {
    const FeederState feeder = sentBefore(joystickState(4, 5), 1000);
    EXPECT_TRUE(feederDatagramDue(feeder, joystickState(5, 5), 5, 1000));
    EXPECT_FALSE(feederDatagramDue(feeder, joystickState(5, 5), kNoExactByte, 1000));
    EXPECT_FALSE(feederDatagramDue(feeder, joystickState(5, 5), 6, 1000));  // not an off-by-one place
}

TEST(FeederChangeRule, RepeatIsStrictlyAfter3000Ms) {
    const FeederState feeder = sentBefore(joystickState(0x80, 1), 1000);
    EXPECT_FALSE(feederDatagramDue(feeder, joystickState(0x80, 1), kNoExactByte, 4000));
    EXPECT_TRUE(feederDatagramDue(feeder, joystickState(0x80, 1), kNoExactByte, 4001));
}

TEST(FeederChangeRule, FourWayByteSevenComparesAsZeroAgainstTheLastJoystickState) {
    // After a joystick state datagram with throttle 200 in byte 7, the 7-byte
    // 4-way datagram differs there and is due at once.
    const FeederState feeder = sentBefore(joystickState(200, 7), 1000);
    const auto fourWay = buildFourWayDatagram(0x80, 0x80, 0x80, 0x80, 0x00);
    EXPECT_TRUE(feederDatagramDue(feeder, fourWay, 6, 1000));
    FeederState afterFourWay;
    afterFourWay.lastBytes = {0x01, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00};
    afterFourWay.lastSendTime = 1000;
    EXPECT_FALSE(feederDatagramDue(afterFourWay, fourWay, 6, 1000));
}

// The feeder link alone: its state and the edges it sends through.
struct FeederLink {
    FeederState feeder;
    testing::ScriptedSocket socket;
    testing::ScriptedProcess process;

    void send(const FeederDatagram& datagram, std::uint64_t now) {
        sendPerModeDatagram(feeder, datagram, now, socket, process);
    }
};

TEST(FeederChangeRule, ADatagramNotDueLeavesBytesAndTimeAlone) {
    FeederLink link;
    link.send(underChangeRule(joystickState(100, 6), kNoExactByte), 1000);
    link.send(underChangeRule(joystickState(102, 6), kNoExactByte), 1500);
    ASSERT_EQ(link.socket.to(kFeederPort).size(), 1u);
    EXPECT_EQ(link.feeder.lastSendTime, 1000u);
    EXPECT_EQ(link.feeder.lastBytes[5], 100);
    // Drift of 2 + 2 from the last sent byte, not from the last built one.
    link.send(underChangeRule(joystickState(104, 6), kNoExactByte), 1600);
    ASSERT_EQ(link.socket.to(kFeederPort).size(), 2u);
    EXPECT_EQ(link.feeder.lastSendTime, 1600u);
}

TEST(FeederChangeRule, ADatagramSentAtOnceStampsItsTimeButNotItsBytes) {
    FeederLink link;
    link.send(atOnce(joystickState(100, 6)), 1000);
    link.send(atOnce(joystickState(100, 6)), 1033);
    EXPECT_EQ(link.socket.to(kFeederPort).size(), 2u);
    EXPECT_EQ(link.feeder.lastSendTime, 1033u);
    EXPECT_EQ(link.feeder.lastBytes, (std::array<std::uint8_t, 7>{}));
}

TEST(FeederChangeRule, AFailedSendToTheFeederEndsTheProcessWithOne) {
    FeederLink link;
    link.socket.failSends = true;
    try {
        link.send(underChangeRule(joystickState(0x80, 1), kNoExactByte), 5000);
        FAIL() << "the process should have ended";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, 1);
    }
}

void enableFeeder(ScriptedHub& t) {
    static constexpr std::uint8_t kEnable[] = {1, 1};
    applyRemoteDatagram(t.hub.state.remote, kEnable, 2, {kLoopback, 50000});
}

// Inputs connect the remote app, whose replies go to 45042 as well until it
// says hello: pick the 4-way datagrams out.
std::vector<Bytes> fourWayDatagrams(const ScriptedHub& t) {
    std::vector<Bytes> found;
    for (const auto& datagram : t.socket.to(kFeederPort)) {
        if (datagram.bytes.size() == 7 && datagram.bytes[0] == 0x02) found.push_back(datagram.bytes);
    }
    return found;
}

TEST(FeederTick, FourWayCarriesThePipelineBytesNotTheLocomotionModesAndTheRemoteAppsBytes) {
    ScriptedHub t;
    enableFeeder(t);
    static constexpr std::uint8_t kInputs[] = {32, 128, 0x21, 0, 0, 0x40, 0xC0, 0, 0};
    applyRemoteDatagram(t.hub.state.remote, kInputs, sizeof kInputs, {kLoopback, 50000});
    t.hub.state.dialog.locomotionMode = LocomotionMode::Seated2;  // the stick datagram carries 128 128: the stick datagram carries 128 128
    t.deck.record.lY = -600;
    t.deck.record.lX = -1000;
    t.tick(1000);  // both axes ramp from rest: X -0.1, Y 0.06
    const auto sent = fourWayDatagrams(t);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (Bytes{0x02, 0x01, 115, 135, 0x40, 0xC0, 0x21}));
}

}  // namespace
}  // namespace hub
