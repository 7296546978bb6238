// The Advanced step tracker, driven update by update: engaging, stepping,
// stopping, the speed it derives, and the values the datagrams get.
#include "engine/advanced_tracker.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

// A user on the Stepdeck: inputs held for a while, one update per tick.
struct Deck {
    AdvancedTracker s;
    AdvancedInputs in;
    std::uint64_t tickMs = 25;

    Deck() {
        s.strideConstant = 4.8f;
        in.tickNow = 10000;
        stand(1, 1);  // buttons 0 and 2: both pairs touched, not all four
    }
    void stand(int pairA, int pairB) {
        in.touchPairA = pairA;
        in.touchPairB = pairB;
    }
    void tilt(float r, float l) {
        in.tiltRF = r;
        in.tiltLF = l;
    }
    void update() { updateAdvancedTracker(s, in); }
    void at(std::uint64_t t) {
        in.tickNow = t;
        update();
    }
    void hold(std::uint64_t ms) {
        for (std::uint64_t held = 0; held < ms; held += tickMs) at(in.tickNow + tickMs);
    }
    // Level on both pairs long enough for a quick tilt to engage.
    void levelStance() {
        tilt(0.0f, 0.0f);
        stand(1, 1);
        hold(300);
    }
    // A level stance, then a tilt steady long enough for the quick rule;
    // returns when the tilt began.
    std::uint64_t quickEngage(float r, float l) {
        levelStance();
        tilt(r, l);
        const std::uint64_t start = in.tickNow + 25;
        at(start);
        at(start + 31);
        return start;
    }
    void engageRightForward() {
        levelStance();
        tilt(15.0f, 0.0f);
        hold(100);
        ASSERT_EQ(s.advDirection, kRightPositive);
    }
    // Single releases alternating between the pairs (pair A first), each
    // lasting `ms`, with `gapMs` after each spent on both pairs (gapPairs 1)
    // or on none (gapPairs 0).
    bool nextFreeIsA = true;
    void walk(int steps, std::uint64_t ms, std::uint64_t gapMs = 0, int gapPairs = 1) {
        for (int i = 0; i < steps; ++i) {
            stand(nextFreeIsA ? 0 : 1, nextFreeIsA ? 1 : 0);
            nextFreeIsA = !nextFreeIsA;
            hold(ms);
            if (gapMs > 0) {
                stand(gapPairs, gapPairs);
                hold(gapMs);
            }
        }
    }
};

TEST(AdvancedEngage, AQuickTiltAfterALevelStanceEngagesOnceSteadyOver30Ms) {
    Deck d;
    d.levelStance();
    d.s.advSpeedSlow = 0.9f;
    d.tilt(15.0f, 2.0f);
    const std::uint64_t start = d.in.tickNow + 25;
    d.at(start);
    d.at(start + 30);  // steady for exactly 30 ms: not yet
    EXPECT_EQ(d.s.advDirection, kStanding);
    d.at(start + 46);  // the next update the gate lets through
    EXPECT_EQ(d.s.advDirection, kRightPositive);
    EXPECT_EQ(d.s.stepPhase, kPhaseEngaged);
    EXPECT_EQ(d.s.advSpeed, 0.3f);
    EXPECT_EQ(d.s.advSpeedSmooth, 0.3f);
    EXPECT_EQ(d.s.advSpeedSlow, 0.3f);  // only this rule resets the slow speed
    EXPECT_EQ(d.s.stepPeriod, -1.0f);
    EXPECT_EQ(d.s.advOutY, 0.0f);  // the first boost comes from the next update's engage phase
}

TEST(AdvancedEngage, AHeldTiltEngagesAfter150MsWithoutTouchingTheSlowSpeed) {
    Deck d;
    d.stand(0, 1);  // a pair free: pattern 3 becomes the accepted one
    d.hold(300);
    d.s.advSpeedSlow = 0.9f;
    d.stand(1, 1);
    d.tilt(15.0f, 2.0f);
    const std::uint64_t start = d.in.tickNow + 25;
    d.at(start);
    d.at(start + 100);  // the pattern was 3, not level: no quick engage
    d.at(start + 150);
    EXPECT_EQ(d.s.advDirection, kStanding);
    d.at(start + 166);
    EXPECT_EQ(d.s.advDirection, kRightPositive);
    EXPECT_EQ(d.s.advSpeedSlow, 0.9f);
}

TEST(AdvancedEngage, EachFootAndWayGivesItsOwnDirectionByEitherRule) {
    struct Case {
        float r, l;
        int direction;
    };
    for (const Case c : {Case{15, 0, kRightPositive}, Case{-15, 0, kRightNegative}, Case{0, -15, kLeftNegative},
                         Case{0, 15, kLeftPositive}}) {
        Deck quick;
        quick.levelStance();
        quick.tilt(c.r, c.l);
        quick.hold(75);
        EXPECT_EQ(quick.s.advDirection, c.direction) << "quick tilt r=" << c.r << " l=" << c.l;

        Deck held;
        held.stand(0, 1);
        held.hold(100);
        held.stand(1, 1);
        held.tilt(c.r, c.l);
        held.hold(200);
        EXPECT_EQ(held.s.advDirection, c.direction) << "held tilt r=" << c.r << " l=" << c.l;
    }
}

TEST(AdvancedEngagePhase, AllFourButtonsStopInTheFirstUpdateThatSeesThem) {
    Deck d;
    d.engageRightForward();
    d.stand(3, 3);
    d.hold(1);
    EXPECT_EQ(d.s.advDirection, kStanding);
    EXPECT_EQ(d.s.advLastDirection, kRightPositive);
    EXPECT_EQ(d.s.advSpeed, 0.0f);
    EXPECT_EQ(d.s.advOutY, 0.0f);
}

TEST(AdvancedEngagePhase, FeetBackStrictlyWithinSixStop) {
    Deck d;
    d.engageRightForward();
    d.tilt(6.0f, -6.0f);
    d.hold(100);
    EXPECT_EQ(d.s.advDirection, kRightPositive);
    d.tilt(5.9f, -5.9f);
    d.hold(1);
    EXPECT_EQ(d.s.advDirection, kStanding);
}

TEST(AdvancedEngagePhase, FeetBackWithinSixStopAQuickReengageRightAfterAWalkAtOnce) {
    // Pins the engage phase's own level test (within 6) made stricter: the
    // level-stance stop rule needs 300 ms since the last change of the
    // accepted lift state, which a re-engage 50 ms after a stop has not seen.
    Deck d;
    d.levelStance();
    d.tilt(15.0f, 0.0f);
    d.hold(25);
    d.tilt(10.0f, 0.0f);  // the candidate holds, the accepted pattern stays level
    d.hold(175);
    ASSERT_EQ(d.s.advDirection, kRightPositive);
    d.walk(2, 300);
    d.stand(3, 3);  // all four: the walk stops once the lift state has been 0 for over 200 ms
    const std::uint64_t down = d.in.tickNow + 25;
    d.at(down);
    d.at(down + 31);
    d.at(down + 201);
    ASSERT_EQ(d.s.advDirection, kStanding);
    d.stand(1, 1);
    d.tilt(15.0f, 0.0f);
    d.at(down + 217);
    d.at(down + 248);  // the quick tilt rule engages again
    ASSERT_EQ(d.s.advDirection, kRightPositive);
    d.tilt(5.5f, 0.0f);
    d.at(down + 264);
    EXPECT_EQ(d.s.advDirection, kStanding);
}

TEST(AdvancedEngagePhase, ATiltSpeedJumpOfAtMostPoint6IsSmoothedAtOnce) {
    // Pins a spike filter that rejects smaller jumps than those over 0.6:
    // 0.3 to 0.85 is a jump of 0.55.
    Deck d;
    d.in.engageFactor = 0.85f;
    const std::uint64_t start = d.quickEngage(30.0f, 0.0f);
    ASSERT_EQ(d.s.advDirection, kRightPositive);
    ASSERT_EQ(d.s.advSpeedSmooth, 0.3f);
    d.at(start + 47);
    EXPECT_EQ(d.s.advSpeed, 0.85f);
    EXPECT_EQ(d.s.advSpeedRef, 0.85f);
    EXPECT_FLOAT_EQ(d.s.advSpeedSmooth, 0.3f + 0.4f * 0.55f);
}

TEST(AdvancedEngagePhase, SpeedFollowsTheTiltAndTheFurtherFootTakesOver) {
    Deck d;
    d.engageRightForward();
    d.in.engageFactor = 0.85f;
    d.tilt(15.0f, 0.0f);
    d.hold(1);
    EXPECT_FLOAT_EQ(d.s.advSpeed, 0.85f * 0.5f);  // 15 / 30 of full speed
    d.tilt(15.0f, -20.0f);
    d.hold(1);
    EXPECT_EQ(d.s.advDirection, kLeftNegative);
    EXPECT_FLOAT_EQ(d.s.advSpeed, 0.85f * (20.0f / 30.0f));
    d.tilt(0.0f, 50.0f);
    d.hold(1);
    EXPECT_EQ(d.s.advDirection, kLeftPositive);
    EXPECT_EQ(d.s.advSpeed, 0.85f);  // the tilt speed is capped at 1 before A
    d.in.engageFactor = 1.0f;
    d.hold(1);
    EXPECT_EQ(d.s.advSpeed, 0.95f);
}

TEST(AdvancedBoost, LiftsTheLaggingSpeedToTheSlowOneAndNeverDividesByZero) {
    Deck d;
    d.engageRightForward();
    d.s.advSpeedSlow = 0.9f;
    d.s.advShaped = 0.4f;
    d.tilt(30.0f, 0.0f);
    d.hold(1);
    // g(slow) / previous shaped speed, slow blended towards 1 first.
    const double slow = static_cast<double>(d.s.advSpeedSlow);
    EXPECT_EQ(d.s.advBoost, static_cast<float>((2.0 * slow - 1.0) / static_cast<double>(0.4f)));

    d.s.advShaped = 0.0f;
    d.hold(1);
    EXPECT_EQ(d.s.advBoost, 1.0f);
    EXPECT_TRUE(std::isfinite(d.s.advOutY));

    d.s.advShaped = 1e-45f;  // a quotient beyond the float range
    d.hold(1);
    EXPECT_EQ(d.s.advBoost, 1.0f);
    EXPECT_LT(d.s.advOutY, 1.0f);
}

TEST(AdvancedSteps, AlternatingReleasesWalkAndAFlightPhaseOver150MsIsRecognised) {
    Deck walking;
    walking.engageRightForward();
    walking.walk(1, 300, 100, 1);
    EXPECT_EQ(walking.s.stepPhase, kPhaseEngaged);  // one release is not a step yet
    walking.walk(1, 300);
    EXPECT_EQ(walking.s.stepPhase, kPhaseWalking);

    Deck running;
    running.engageRightForward();
    running.walk(1, 300, 200, 0);
    running.stand(1, 0);
    running.hold(100);
    EXPECT_EQ(running.s.stepPhase, kPhaseFlight);
}

TEST(AdvancedSteps, BothPairsFreeForExactly150MsIsNoFlight) {
    for (const std::uint64_t flight : {150u, 151u}) {
        Deck d;
        d.engageRightForward();
        d.walk(1, 300);
        d.stand(0, 0);
        const std::uint64_t start = d.in.tickNow + 25;
        d.at(start);
        d.at(start + 40);  // accepted, dated from start
        d.stand(1, 0);
        d.at(start + flight);
        d.at(start + flight + 40);
        EXPECT_EQ(d.s.stepPhase, flight > 150 ? kPhaseFlight : kPhaseWalking) << flight;
    }
}

TEST(AdvancedSpeed, BOfOneAndAHalfSecondPeriodGiveOneOver2Point4) {
    Deck d;
    d.engageRightForward();
    d.tickMs = 50;  // the accepted lift state then changes one update after the real one
    d.walk(120, 500);  // the period closes in on 0.5 by 5 % per step
    EXPECT_EQ(d.s.stepPhase, kPhaseWalking);
    EXPECT_NEAR(d.s.stepPeriod, 0.5f, 1e-3f);
    EXPECT_NEAR(d.s.advSpeed, 1.0f / 2.4f, 1e-3f);

    // The period stays; B scales the speed taken from it.
    d.in.speedFactor = 1.5f;
    d.walk(2, 500);
    EXPECT_NEAR(d.s.advSpeed, 1.5f / 2.4f, 2e-3f);
}

TEST(AdvancedSpeed, TheStepPeriodMovesTowardsTheReleaseInDoublePrecision) {
    // Pins the period's 5 % step computed in single precision: for a 91 ms
    // release and a 0.312 s period the two differ in the last bit.
    Deck d;
    d.engageRightForward();
    d.walk(2, 300);
    d.stand(1, 1);
    d.hold(100);
    ASSERT_EQ(d.s.stepPhase, kPhaseWalking);
    const float period = 0.312f;
    d.s.stepPeriod = period;
    d.stand(0, 1);
    const std::uint64_t start = d.in.tickNow + 25;
    d.at(start);
    d.at(start + 31);  // the release is accepted: its reference is the period
    d.stand(1, 1);
    d.at(start + 91);  // the release lasted 91 ms
    d.at(start + 122);  // its end is accepted
    const float lift = 0.091f;
    const float expected = static_cast<float>((static_cast<double>(lift) - period) * 0.05 + period);
    ASSERT_NE(expected, (lift - period) * 0.05f + period);
    EXPECT_EQ(d.s.stepPeriod, expected);
}

TEST(AdvancedSpeed, AReleaseLongerThanTheReferenceSlowsTheWalkAtOnce) {
    Deck d;
    d.engageRightForward();
    d.walk(30, 400);
    const float walkingSpeed = d.s.advSpeed;
    d.walk(1, 1100);  // a release 0.7 s longer than the others
    EXPECT_LT(d.s.advSpeed, walkingSpeed * 0.9f);
    EXPECT_GT(d.s.liftReference, d.s.stepPeriod + 0.05f);  // 8 % of the 0.7 s excess
}

TEST(AdvancedSpeed, AZeroTiltAtTheFirstStepStillGivesAFinitePeriod) {
    Deck d;
    d.engageRightForward();
    d.tilt(0.0f, 8.0f);  // direction 1 with r = 0: no speed from the tilt
    d.hold(50);
    ASSERT_EQ(d.s.advSpeed, 0.0f);
    ASSERT_EQ(d.s.advDirection, kRightPositive);
    d.walk(20, 500);
    EXPECT_TRUE(std::isfinite(d.s.stepPeriod));
    EXPECT_GT(d.s.advSpeed, 0.0f);
    EXPECT_GT(d.s.advOutY, 0.0f);
}

TEST(AdvancedSpeed, TheFirstMotionMovesEvenWhenStepsBeginRightAfterTheEngage) {
    Deck d;
    d.levelStance();
    d.tilt(15.0f, 0.0f);
    d.hold(75);
    ASSERT_EQ(d.s.advDirection, kRightPositive);
    d.walk(8, 500);  // no update of the engage phase ever ran
    EXPECT_GT(d.s.advOutY, 0.05f);
}

TEST(AdvancedStop, WhileWalkingLevelOnBothPairsOver200MsStops) {
    Deck d;
    d.engageRightForward();
    d.walk(4, 400);
    d.tilt(5.5f, 0.0f);  // within 6 but not within 5
    d.stand(1, 1);
    const std::uint64_t start = d.in.tickNow + 25;
    d.at(start);
    d.at(start + 40);
    d.at(start + 200);
    EXPECT_EQ(d.s.advDirection, kRightPositive);
    d.at(start + 216);
    EXPECT_EQ(d.s.advDirection, kStanding);
    EXPECT_FALSE(d.s.stepCounting);
}

TEST(AdvancedStop, WhileWalkingAllFourButtonsStopWhateverTheTilt) {
    Deck tilted;
    tilted.engageRightForward();
    tilted.walk(4, 400);
    tilted.tilt(20.0f, 0.0f);
    tilted.stand(1, 1);
    tilted.hold(1000);
    EXPECT_EQ(tilted.s.advDirection, kRightPositive);  // standing tilted keeps moving

    tilted.stand(3, 3);
    tilted.hold(300);
    EXPECT_EQ(tilted.s.advDirection, kStanding);
}

TEST(AdvancedStop, AfterASingleReleaseTheEngagedMotionNeedsOver300MsLevel) {
    Deck d;
    d.engageRightForward();
    d.walk(1, 300);
    d.tilt(5.5f, 0.0f);
    d.stand(1, 1);
    const std::uint64_t start = d.in.tickNow + 25;
    d.at(start);
    d.at(start + 40);
    d.at(start + 300);
    EXPECT_EQ(d.s.advDirection, kRightPositive);
    d.at(start + 316);
    EXPECT_EQ(d.s.advDirection, kStanding);
}

TEST(AdvancedGate, UpdatesCloserThan16MsChangeNothing) {
    Deck d;
    d.levelStance();
    d.tilt(15.0f, 0.0f);
    d.at(d.in.tickNow + 25);
    const std::uint64_t last = d.in.tickNow;
    d.at(last + 15);
    d.at(last + 15);
    EXPECT_EQ(d.s.advLastUpdate, last);
    d.at(last + 16);
    EXPECT_EQ(d.s.advLastUpdate, last + 16);
}

TEST(AdvancedOutputs, SmallValuesArePressedTowardsZeroOnlyOnceSteppingBegan) {
    Deck d;
    d.engageRightForward();
    d.walk(1, 300, 100, 1);  // a release: the engage phase is over, the speed stays
    d.s.advSpeed = d.s.advSpeedSmooth = d.s.advSpeedRef = 0.3f;
    d.s.advBoost = 1.0f;
    d.stand(1, 1);
    d.tilt(20.0f, 0.0f);
    d.hold(1);
    ASSERT_EQ(d.s.stepPhase, kPhaseEngaged);
    EXPECT_FLOAT_EQ(d.s.advOutY, 0.18f);  // g(0.3) = 0.6 * 0.3

    d.s.stepPhase = kPhaseWalking;
    d.s.advDirection = kRightNegative;
    d.hold(1);
    EXPECT_FLOAT_EQ(d.s.advOutY, -0.18f * 0.72f * 0.72f * 0.72f);
    EXPECT_EQ(d.s.advOutX, 0.0f);
}

TEST(AdvancedShaping, IsTheTrackersOwnCurveNotTheStickSpeedCurve) {
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(0.4), 0.24);
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(0.5), 0.3);
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(0.7), 0.5);
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(0.8), 0.6);
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(1.0), 1.0);
    EXPECT_DOUBLE_EQ(shapeAdvancedSpeed(-0.7), -0.5);
}

TEST(AdvancedStage, TheXByteAndTheXdrvXCarryOppositeSigns) {
    ScriptedHub t;
    t.hub.state.dialog.locomotionMode = LocomotionMode::Advanced;
    AdvancedTracker& s = t.hub.state.advanced;
    s.strideConstant = 4.8f;
    s.advDirection = kLeftNegative;
    s.advOutX = 0.5f;
    s.advLastUpdate = 1000;  // the tick at 1010 is gated: the stored outputs go out again
    t.tick(1010);
    const auto stick = t.socket.to(45040).at(0).bytes;
    EXPECT_EQ(stick, (std::vector<std::uint8_t>{0x2A, 191, 0x2B, 128, 0x00}));
    const auto xdrv = t.socket.to(45045).at(0).bytes;
    std::uint32_t xBits = 0, yBits = 0;
    for (int i = 3; i >= 0; --i) {
        xBits = (xBits << 8) | xdrv[8 + static_cast<std::size_t>(i)];
        yBits = (yBits << 8) | xdrv[12 + static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(std::bit_cast<float>(xBits), -0.5f);
    EXPECT_EQ(yBits, 0x80000000u);
    EXPECT_EQ(t.window.texts[1047], "191");
    EXPECT_EQ(t.window.texts[1048], "128");
}

TEST(AdvancedStage, TheYByteFollowsTheOutputAndUsesTheDialogsFactors) {
    ScriptedHub t;
    t.hub.state.dialog.locomotionMode = LocomotionMode::Advanced;
    t.hub.state.dialog.initialSpeedAdjust = 3;  // A = 0.85
    t.hub.state.advanced.strideConstant = 4.8f;
    t.deck.record.rgbButtons[0] = t.deck.record.rgbButtons[2] = 0x80;  // on both pairs
    std::uint64_t now = 1000;
    for (int i = 0; i < 10; ++i) t.tick(now += 33);
    t.deck.record.lRz = 234;  // tilt 29.952, seen by the tracker a tick later
    for (int i = 0; i < 10; ++i) t.tick(now += 33);
    const AdvancedTracker& s = t.hub.state.advanced;
    ASSERT_EQ(s.advDirection, kRightPositive);
    EXPECT_FLOAT_EQ(s.advSpeed, 0.85f * (29.952f / 30.0f));
    t.socket.sent.clear();
    t.tick(now += 33);
    const int yByte = t.socket.to(45040).at(0).bytes[3];
    EXPECT_EQ(yByte, static_cast<int>(std::floor(-127.0f * s.advOutY)) + 128);
    EXPECT_LT(yByte, 128);  // forward is below the centre byte
}

}  // namespace
}  // namespace hub
