#include "engine/stick_pipeline.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

TEST(StartJumpSmoother, RampsAJumpFromExactRestAndEndsWithinPointTwo) {
    StartJumpSmoother smoother;
    EXPECT_FLOAT_EQ(smoother.apply(1.0f), 0.1f);
    EXPECT_FLOAT_EQ(smoother.apply(1.0f), 0.235f);
    EXPECT_FLOAT_EQ(smoother.apply(1.0f), 0.34975f);
    float value = 0.0f;
    int ticks = 3;
    while (smoother.ramping) {
        value = smoother.apply(1.0f);
        ++ticks;
    }
    // The tick that ends the ramp still outputs the ramped value (just above 0.8).
    EXPECT_GT(value, 0.8f);
    EXPECT_LT(value, 0.85f);
    EXPECT_EQ(smoother.apply(1.0f), 1.0f);
}

TEST(StartJumpSmoother, RampBlendIsDoneInDoubleAndRoundedOnce) {
    StartJumpSmoother smoother;
    smoother.apply(0.7f);
    const float ramp = smoother.rampValue;
    const float next = smoother.apply(0.7f);
    const float expected = static_cast<float>((static_cast<double>(0.7f) - ramp) * 0.15 + ramp);
    EXPECT_EQ(next, expected);
}

TEST(StartJumpSmoother, RampEndMeasuresTheDistanceInSinglePrecision) {
    // The float distance 0.2f lies just above the double 0.2: the ramp goes on,
    // where a distance taken in double would end it.
    StartJumpSmoother smoother;
    smoother.ramping = true;
    smoother.rampValue = -0x1.21211ep-5f;
    smoother.previousRaw = 0.2f;
    smoother.apply(0.2f);
    EXPECT_EQ(smoother.rampValue, 0x1.733334p-28f);
    EXPECT_TRUE(smoother.ramping);
}

TEST(StartJumpSmoother, OnlyAJumpFromExactZeroBeyondPointFourIsEased) {
    StartJumpSmoother fromNearRest;
    fromNearRest.apply(0.01f);
    EXPECT_EQ(fromNearRest.apply(1.0f), 1.0f);  // previous value was not exactly 0

    StartJumpSmoother exactlyPointFour;
    EXPECT_EQ(exactlyPointFour.apply(0.4f), 0.4f);  // needs more than 0.4

    StartJumpSmoother negative;
    EXPECT_FLOAT_EQ(negative.apply(-0.9f), -0.09f);  // the sign is kept
}

TEST(SpeedCurve, IsLinearToTheKneeThenRunsStraightToOne) {
    EXPECT_FLOAT_EQ(applySpeedCurve(0.7f, 4), 0.245f);
    EXPECT_FLOAT_EQ(applySpeedCurve(1.0f, 4), 1.0f);
    EXPECT_FLOAT_EQ(applySpeedCurve(-1.0f, 4), -1.0f);  // keeps the sign
    EXPECT_FLOAT_EQ(applySpeedCurve(0.7f, 6), 1.05f);
    EXPECT_FLOAT_EQ(applySpeedCurve(0.5f, 1), 0.4f);
    EXPECT_EQ(applySpeedCurve(0.123f, 0), 0.123f);  // index 0 applies nothing
}

TEST(FloorCentredByte, RoundsTowardsMinusInfinityAndClamps) {
    EXPECT_EQ(floorCentredByte(-0.5f), 127);  // not truncated towards zero
    EXPECT_EQ(floorCentredByte(0.5f), 128);
    EXPECT_EQ(floorCentredByte(128.0f), 255);  // 256 clamped
    EXPECT_EQ(floorCentredByte(-128.0f), 0);
    EXPECT_EQ(floorCentredByte(-129.0f), 0);
}

TEST(StickPipeline, ForwardWeightGivesByte204AndTheDisplays) {
    ScriptedHub t;
    t.deck.record.lY = -600;
    t.deck.record.lX = 0;
    t.tick(100);  // the jump from rest is eased in the first ticks
    for (int i = 1; i < 30; ++i) t.tick(100 + 33 * i);
    t.socket.sent.clear();
    t.window.writes.clear();
    t.tick(2000);
    const auto stick = t.socket.to(45040);
    ASSERT_EQ(stick.size(), 1u);
    EXPECT_EQ(stick[0].bytes, (std::vector<std::uint8_t>{0x2A, 0x80, 0x2B, 0xCC, 0x00}));
    EXPECT_EQ(t.window.texts[1010], "128");
    EXPECT_EQ(t.window.texts[1011], "204");
    EXPECT_EQ(t.window.texts[1047], "128");
    EXPECT_EQ(t.window.texts[1048], "204");
    const auto xdrv = t.socket.to(45045);
    float y = 0.0f;
    std::memcpy(&y, &xdrv.at(0).bytes[12], sizeof y);
    EXPECT_FLOAT_EQ(y, 0.6f);
}

TEST(StickPipeline, FullDeflectionClampsTheByteButNotTheValue) {
    StickPipelineState state;
    testing::ScriptedWindow window;
    JoystickRecord deck{};
    state.x.previousRaw = 0.7f;  // no start jump
    deck.lX = 700;
    const LocomotionPosition right = runStickPipeline(state, deck, 6, window);  // f = 1.5
    EXPECT_FLOAT_EQ(right.x, 1.05f);
    EXPECT_EQ(right.xByte, 255);

    deck.lY = 1000;  // pulled back: Y = -1
    state.y.previousRaw = -1.0f;
    EXPECT_EQ(runStickPipeline(state, deck, 0, window).yByte, 0);
}

TEST(StickPipeline, RestCarriesPositiveZeroInTheXdrvDatagram) {
    ScriptedHub t;
    t.tick(1);
    const auto xdrv = t.socket.to(45045);
    ASSERT_EQ(xdrv.size(), 1u);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(xdrv[0].bytes[i], 0) << "byte " << i;
}

TEST(TouchButtons, ShowLettersAndSplitIntoPairs) {
    ScriptedHub t;
    t.deck.record.rgbButtons[0] = 0x80;
    t.deck.record.rgbButtons[3] = 0x80;
    t.deck.record.rgbButtons[1] = 0x7F;  // bit 7 clear: not pressed
    t.tick(1);
    EXPECT_EQ(t.window.texts[1041], "XOOX");
    const TouchButtons touch = readTouchButtons(t.deck.record, t.window);
    EXPECT_EQ(touch.mask, 9);
    EXPECT_EQ(touch.pairA, 1);
    EXPECT_EQ(touch.pairB, 2);
}

}  // namespace
}  // namespace hub
