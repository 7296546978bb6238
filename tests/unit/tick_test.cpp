// The tick's spine: what runs, and what a failing Stepdeck stops.
#include <gtest/gtest.h>

#include "engine/session.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

TEST(InputTick, WithoutAStepdeckSendsAndShowsNothing) {
    ScriptedHub t;
    t.hub.devices.deck = nullptr;
    t.attachGamepad();
    EXPECT_EQ(t.tick(1), kOk);
    EXPECT_TRUE(t.socket.sent.empty());
    EXPECT_TRUE(t.window.writes.empty());
    EXPECT_EQ(t.pad.pollCalls, 0);
}

TEST(InputTick, InputLostReacquiresAtMostTenTimesAndSkipsTheRest) {
    ScriptedHub t;
    t.deck.pollResult = kInputLost;
    t.deck.acquireResults.assign(50, kInputLost);
    EXPECT_EQ(t.tick(1), kOk);
    EXPECT_EQ(t.deck.acquireCalls, 10);
    EXPECT_EQ(t.deck.readCalls, 0);
    // Only what the loss itself says (the Stepdeck's loss tests pin it).
    EXPECT_EQ(t.socket.sent.size(), 2u);
    EXPECT_EQ(t.window.writes.size(), 1u);
}

TEST(InputTick, AcquireStopsOnceTheDeviceIsBack) {
    ScriptedHub t;
    t.deck.pollResult = kInputLost;
    t.deck.acquireResults = {kInputLost, kInputLost, 0};
    t.tick(1);
    EXPECT_EQ(t.deck.acquireCalls, 3);
}

TEST(InputTick, AFailedReadReturnsItsCodeUnchanged) {
    ScriptedHub t;
    t.deck.readResult = static_cast<HResult>(0x80070005);
    EXPECT_EQ(t.tick(1), static_cast<HResult>(0x80070005));
    EXPECT_TRUE(t.socket.sent.empty());
}

TEST(OnTimer, AFailedReadStandsTheConsumersStillStopsTheFeederAndEndsTheDialogWithOne) {
    ScriptedHub t;
    t.deck.readResult = -1;
    t.clock.now = 5;
    t.socket.failSends = true;  // none of these sends is tested
    onTimer(t.hub);
    ASSERT_EQ(t.socket.sent.size(), 3u);
    EXPECT_EQ(t.socket.sent[0].bytes, (std::vector<std::uint8_t>{0x2A, 0x80, 0x2B, 0x80, 0x00}));
    EXPECT_EQ(t.socket.sent[1].to, (Endpoint{kLoopback, 45045}));
    EXPECT_EQ(t.socket.sent[2].to, (Endpoint{kLoopback, 45042}));
    EXPECT_EQ(t.socket.sent[2].bytes, (std::vector<std::uint8_t>{0x64, 0x00}));
    EXPECT_TRUE(t.window.timerStopped);
    ASSERT_EQ(t.window.messageBoxes.size(), 1u);
    EXPECT_EQ(t.window.messageBoxes[0].first, "Error Reading Input State. The app will now exit.");
    EXPECT_EQ(t.window.messageBoxes[0].second, "VR Stepdeck Monitor");
    EXPECT_EQ(t.window.endedWith, 1);
}

TEST(InputTick, SendsTheStickThenTheXdrvDatagramEveryTick) {
    ScriptedHub t;
    t.tick(1);
    t.tick(34);
    ASSERT_GE(t.socket.sent.size(), 4u);
    EXPECT_EQ(t.socket.sent[0].to.port, 45040);
    EXPECT_EQ(t.socket.sent[1].to.port, 45045);
    EXPECT_EQ(t.socket.to(45040).size(), 2u);
    EXPECT_EQ(t.socket.to(45045).size(), 2u);
}

TEST(StartUp, SendsTheThreeGreetingsInOrder) {
    ScriptedHub t;
    startUp(t.hub);
    ASSERT_EQ(t.socket.sent.size(), 3u);
    EXPECT_EQ(t.socket.sent[0].to, (Endpoint{kLoopback, 45040}));
    EXPECT_EQ(t.socket.sent[0].bytes, (std::vector<std::uint8_t>{0x01, 0x03, 0x02, 0x6F, 0x00}));
    EXPECT_EQ(t.socket.sent[1].to, (Endpoint{kLoopback, 45045}));
    const std::vector<std::uint8_t> xdrvGreeting{'X', 'D', 'R', 'V', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 3, 0, 0, 0};
    EXPECT_EQ(t.socket.sent[1].bytes, xdrvGreeting);
    EXPECT_EQ(t.socket.sent[2].to, (Endpoint{kLoopback, 45042}));
    EXPECT_EQ(t.socket.sent[2].bytes, t.socket.sent[0].bytes);
    EXPECT_EQ(t.hub.state.advanced.strideConstant, 4.8f);
}

TEST(XdrvDatagram, IsLittleEndianWithIeeeFloats) {
    const auto datagram = buildXdrvDatagram(0.6f, -0.0f);
    EXPECT_EQ(datagram[0], 'X');
    EXPECT_EQ(datagram[3], 'V');
    EXPECT_EQ(datagram[4], 1);
    // 0.6f is 0x3F19999A.
    EXPECT_EQ(datagram[8], 0x9A);
    EXPECT_EQ(datagram[9], 0x99);
    EXPECT_EQ(datagram[10], 0x19);
    EXPECT_EQ(datagram[11], 0x3F);
    // Negative zero keeps its sign bit.
    EXPECT_EQ(datagram[15], 0x80);
    EXPECT_EQ(datagram[24], 3);
}

}  // namespace
}  // namespace hub
