// The seated locomotion modes: which foot drives, the tilt curve, the touch
// values, and what reaches the two datagrams and controls 1047/1048.
#include "engine/locomotion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

float xdrvFloat(const std::vector<std::uint8_t>& datagram, std::size_t offset) {
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = (bits << 8) | datagram[offset + static_cast<std::size_t>(i)];
    return std::bit_cast<float>(bits);
}

TEST(SeatedFromTilts, TheRightFootDrivesYAndTheLeftFootDrivesXInverted) {
    const SeatedValues right = seatedFromTilts(20.0f, 2.0f);
    EXPECT_FLOAT_EQ(right.y, -17.0f / 33.0f);
    EXPECT_EQ(right.x, 0.0f);
    EXPECT_TRUE(std::signbit(right.x));  // the idle foot sends negative zero

    const SeatedValues left = seatedFromTilts(2.0f, 20.0f);
    EXPECT_FLOAT_EQ(left.x, -17.0f / 33.0f);
    EXPECT_TRUE(std::signbit(left.y));
}

TEST(SeatedFromTilts, ClampsBeforeInvertingSoAFullBackTiltGivesExactlyOne) {
    EXPECT_EQ(seatedFromTilts(-28.0f, 0.0f).y, 1.0f);
    EXPECT_EQ(seatedFromTilts(-40.0f, 0.0f).y, 1.0f);
    EXPECT_EQ(seatedFromTilts(0.0f, 60.0f).x, -1.0f);
}

TEST(SeatedFromTilts, NeedsMoreThanFiveAndTheOtherFootStrictlyWithinTen) {
    const auto isRest = [](SeatedValues v) { return v.x == 0.0f && v.y == 0.0f; };
    EXPECT_TRUE(isRest(seatedFromTilts(5.0f, 0.0f)));    // > 5, not >= 5
    EXPECT_TRUE(isRest(seatedFromTilts(0.0f, -5.0f)));
    EXPECT_TRUE(isRest(seatedFromTilts(12.0f, 12.0f)));  // both tilted: neither drives
    EXPECT_TRUE(isRest(seatedFromTilts(20.0f, 10.0f)));  // the other foot must be < 10
    EXPECT_TRUE(isRest(seatedFromTilts(-10.0f, 20.0f)));
    EXPECT_FALSE(isRest(seatedFromTilts(20.0f, 9.9f)));
}

TEST(SeatedFromTilts, AnEqualTiltOnBothFeetGoesToTheLeftFoot) {
    const SeatedValues tie = seatedFromTilts(-7.0f, 7.0f);
    EXPECT_FLOAT_EQ(tie.x, -(4.0f / 33.0f));
    EXPECT_EQ(tie.y, 0.0f);
}

struct SeatedHub : ScriptedHub {
    explicit SeatedHub(LocomotionMode mode) { hub.state.dialog.locomotionMode = mode; }

    void tickAndKeepOnlyIt(std::uint64_t t) {
        socket.sent.clear();
        window.writes.clear();
        tick(t);
    }
    std::vector<std::uint8_t> stickDatagram() const { return socket.to(45040).at(0).bytes; }
    std::vector<std::uint8_t> xdrvDatagram() const { return socket.to(45045).at(0).bytes; }
};

TEST(SeatedStage, UsesThePreviousTicksTiltsAndSendsNegativeZero) {
    SeatedHub t(LocomotionMode::Seated);
    t.deck.record.lRz = 157;  // tilt 20.096, seen from the next tick on
    t.tickAndKeepOnlyIt(1000);
    EXPECT_EQ(t.stickDatagram(), (std::vector<std::uint8_t>{0x2A, 0x80, 0x2B, 0x80, 0x00}));

    t.tickAndKeepOnlyIt(1033);
    // y = -(17.096 / 33) = -0.518..., floor(-65.8) + 128 = 62.
    EXPECT_EQ(t.stickDatagram(), (std::vector<std::uint8_t>{0x2A, 0x80, 0x2B, 62, 0x00}));
    const auto xdrv = t.xdrvDatagram();
    EXPECT_EQ(xdrv[8], 0x00);
    EXPECT_EQ(xdrv[11], 0x80);  // x is -0.0: bit pattern 0x80000000
    EXPECT_FLOAT_EQ(xdrvFloat(xdrv, 12), -(20.096f - 3.0f) / 33.0f);
    EXPECT_EQ(t.window.texts[1047], "128");
    EXPECT_EQ(t.window.texts[1048], "62");
}

TEST(SeatedStage, OverridesTheStickSoItsBytesDoNotLeakThrough) {
    SeatedHub t(LocomotionMode::Seated);
    t.deck.record.lY = -1000;  // the stick alone would send 255
    for (int i = 0; i < 20; ++i) t.tickAndKeepOnlyIt(1000 + 33u * static_cast<unsigned>(i));
    EXPECT_EQ(t.stickDatagram()[3], 128);
    EXPECT_EQ(t.window.texts[1048], "128");
    EXPECT_EQ(t.window.texts[1011], "255");  // the stick's own display is kept
}

TEST(Seated2Stage, ButtonThreeGives254AndButtonTwoGivesOne) {
    SeatedHub t(LocomotionMode::Seated2);
    t.deck.record.rgbButtons[3] = 0x80;
    t.tickAndKeepOnlyIt(1000);
    EXPECT_EQ(t.stickDatagram()[3], 254);
    EXPECT_EQ(xdrvFloat(t.xdrvDatagram(), 12), 0.9999f);
    EXPECT_FALSE(std::signbit(xdrvFloat(t.xdrvDatagram(), 8)));  // plain +0 here

    t.deck.record.rgbButtons[3] = 0;
    t.deck.record.rgbButtons[2] = 0x80;
    t.tickAndKeepOnlyIt(1033);
    EXPECT_EQ(t.stickDatagram()[3], 1);
    EXPECT_EQ(t.window.texts[1048], "1");

    t.deck.record.rgbButtons[2] = 0;
    t.deck.record.rgbButtons[0] = 0x80;
    t.tickAndKeepOnlyIt(1066);
    EXPECT_EQ(t.stickDatagram()[1], 1);
    EXPECT_EQ(t.stickDatagram()[3], 128);
    EXPECT_EQ(t.window.texts[1047], "1");
}

}  // namespace
}  // namespace hub
