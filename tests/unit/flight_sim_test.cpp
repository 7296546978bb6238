// Mode 7: the time step and its factors, the stick-1 dials, the one-way foot
// steering, the toe pedals and the latched datagram.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/controls.h"
#include "fake_edges.h"

namespace hub {
namespace {

using testing::TestHub;

constexpr std::uint16_t kFeederPort = 45042;

TEST(FlightTimeStep, IsTheSignedDifferenceOfTheLow32BitsAndNeverNegative) {
    EXPECT_EQ(flightTimeStep(1033, 1000), 33);
    // The low 32 bits wrapped between the two stages: still 33 ms.
    const std::uint64_t afterWrap = (std::uint64_t{1} << 32) + 10;
    EXPECT_EQ(flightTimeStep(afterWrap, static_cast<std::int32_t>(0xFFFFFFE9u)), 33);
    // A clock that seems to run backwards moves nothing.
    EXPECT_EQ(flightTimeStep(1000, 1033), 0);
    EXPECT_EQ(flightTimeStep(0x80000000u, 0), 0);
}

TEST(FlightFactors, ScaleWithTheStepAndAreReplacedOnlyStrictlyAboveTheirBound) {
    const FlightFactors tick = flightFactors(33);
    EXPECT_EQ(tick.throttle, static_cast<float>(33.0 / 3500.0));
    EXPECT_EQ(tick.steering, static_cast<float>(33.0 / 350.0));
    EXPECT_EQ(tick.spring, 0.066f);

    EXPECT_EQ(flightFactors(3500).throttle, 1.0f);
    EXPECT_EQ(flightFactors(3501).throttle, 0.0001f);
    EXPECT_EQ(flightFactors(500).spring, 1.0f);
    EXPECT_EQ(flightFactors(501).spring, 0.00002f);
    EXPECT_EQ(flightFactors(2500).hold, 1.0f);
    EXPECT_EQ(flightFactors(2501).hold, 0.00002f);
    EXPECT_EQ(flightFactors(175).steering, 0.5f);
    EXPECT_EQ(flightFactors(176).steering, 0.0002f);
}

Stick1Tracker engaged(int quadrant, float totalTurn) {
    Stick1Tracker stick;
    stick.tracking = true;
    stick.startQuadrant = quadrant;
    stick.totalTurn = totalTurn;
    return stick;
}

Stick1Tracker released(int quadrant) {
    Stick1Tracker stick;
    stick.startQuadrant = quadrant;
    return stick;
}

TEST(FlightDials, ThrottleFollowsFromItsBaseAndKeepsItsValueAcrossRotations) {
    FlightSimState flight;
    float throttle = 0.0f;
    const FlightFactors factors = flightFactors(33);
    turnFlightDials(flight, engaged(0, 50.0f), factors, throttle);
    EXPECT_EQ(flight.throttleDial, 0.5f * factors.throttle);
    EXPECT_EQ(throttle, flight.throttleDial);

    const float reached = flight.throttleDial;
    turnFlightDials(flight, released(0), factors, throttle);
    EXPECT_EQ(flight.throttleDialBase, reached);
    EXPECT_EQ(flight.throttleDial, reached);
    // The next rotation continues from there: no turn yet, no movement.
    turnFlightDials(flight, engaged(0, 0.0f), factors, throttle);
    EXPECT_EQ(flight.throttleDial, reached);
}

TEST(FlightDials, ThrottleTargetBeyondFullIsFollowedOnlyUpToTheLimit) {
    FlightSimState flight;
    float throttle = 0.0f;
    for (int i = 0; i < 2000; ++i) turnFlightDials(flight, engaged(0, 400.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.throttleDial, 1.0f);
    for (int i = 0; i < 2000; ++i) turnFlightDials(flight, engaged(0, -400.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.throttleDial, 0.0f);
}

TEST(FlightDials, HoldDialMovesAgainstTheTurnAndStopsAtMinusOne) {
    FlightSimState flight;
    float throttle = 0.25f;
    turnFlightDials(flight, engaged(3, 150.0f), flightFactors(33), throttle);
    EXPECT_LT(flight.holdDial, 0.0f);  // target -1.5: the minus sign
    for (int i = 0; i < 2000; ++i) turnFlightDials(flight, engaged(3, 150.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.holdDial, -1.0f);
    turnFlightDials(flight, released(3), flightFactors(33), throttle);
    EXPECT_EQ(flight.holdDial, -1.0f);
    EXPECT_EQ(flight.holdDialBase, -1.0f);
    EXPECT_EQ(throttle, 0.25f);  // only the throttle rotation writes it
}

TEST(FlightDials, SpringDialSnapsBackOnReleaseAndTheBackQuadrantMovesNothing) {
    FlightSimState flight;
    float throttle = 0.25f;
    turnFlightDials(flight, engaged(2, 90.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.springDial, 0.9f * 0.066f);
    turnFlightDials(flight, released(2), flightFactors(33), throttle);
    EXPECT_EQ(flight.springDial, 0.0f);

    const FlightSimState before = flight;
    turnFlightDials(flight, engaged(1, 200.0f), flightFactors(33), throttle);
    turnFlightDials(flight, released(1), flightFactors(33), throttle);
    EXPECT_EQ(flight.throttleDial, before.throttleDial);
    EXPECT_EQ(flight.springDial, before.springDial);
    EXPECT_EQ(flight.holdDial, before.holdDial);
    EXPECT_EQ(throttle, 0.25f);
}

TEST(FlightDials, ANegativeTimeStepMovesNoDial) {
    FlightSimState flight;
    flight.throttleDial = 0.5f;
    flight.throttleDialBase = 0.5f;
    float throttle = 0.0f;
    turnFlightDials(flight, engaged(0, 50.0f), flightFactors(flightTimeStep(1000, 1033)), throttle);
    EXPECT_EQ(flight.throttleDial, 0.5f);
}

constexpr int kOn = 1;   // first button pressed, second released
constexpr int kOff = 0;

TEST(FlightSteering, RightFootTwistedTwentyDegreesBelowItsReferenceDemandsMinusPointFour) {
    FlightSimState flight;
    steerWithFeet(flight, kOff, kOn, 0.0f, 40.0f, 0, 1.0f);  // comes on: reference 40
    EXPECT_EQ(flight.rightFootRef, 40.0f);
    steerWithFeet(flight, kOff, kOn, 0.0f, 20.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.02f * -20.0f);
    EXPECT_EQ(flight.steering, 0.02f * -20.0f);  // factor 1: straight to the demand
}

TEST(FlightSteering, TwistingTheWrongWayDragsTheReferenceSoTwistingBackSteersAtOnce) {
    FlightSimState flight;
    steerWithFeet(flight, kOff, kOn, 0.0f, 0.0f, 0, 1.0f);
    steerWithFeet(flight, kOff, kOn, 0.0f, 15.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.0f);
    EXPECT_EQ(flight.rightFootRef, 15.0f);
    steerWithFeet(flight, kOff, kOn, 0.0f, 10.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.02f * -5.0f);

    steerWithFeet(flight, kOn, kOff, 0.0f, 10.0f, 0, 1.0f);  // left foot on at heading 0
    steerWithFeet(flight, kOn, kOff, -12.0f, 10.0f, 0, 1.0f);
    EXPECT_EQ(flight.leftFootTurn, 0.0f);
    EXPECT_EQ(flight.leftFootRef, -12.0f);
}

TEST(FlightSteering, TiesGoToTheRightFootAndTheOtherFootsReferenceFollowsItsHeading) {
    FlightSimState flight;
    flight.leftFootTurn = 0.3f;
    flight.rightFootTurn = -0.3f;
    steerWithFeet(flight, kOff, kOff, 7.0f, 9.0f, 0, 1.0f);  // both lifted: demands kept
    EXPECT_EQ(flight.steering, -0.3f);
    EXPECT_EQ(flight.leftFootRef, 7.0f);
    EXPECT_EQ(flight.leftFootTurn, 0.3f);  // not cleared
    flight.leftFootTurn = 0.31f;
    steerWithFeet(flight, kOff, kOff, 7.0f, 9.0f, 0, 1.0f);
    EXPECT_EQ(flight.steering, 0.31f);
    EXPECT_EQ(flight.rightFootRef, 9.0f);
}

TEST(FlightSteering, BothButtonsOfAPairCountAsOff) {
    FlightSimState flight;
    steerWithFeet(flight, kOff, kOn, 0.0f, 30.0f, 0, 1.0f);
    steerWithFeet(flight, kOff, 3, 0.0f, 0.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.0f);
    EXPECT_EQ(flight.rightFootRef, 30.0f);
}

TEST(FlightSteering, SensitivityDividesTheGainAndSteeringIsLimited) {
    FlightSimState flight;
    steerWithFeet(flight, kOn, kOff, 0.0f, 0.0f, 4, 1.0f);
    steerWithFeet(flight, kOn, kOff, 70.0f, 0.0f, 4, 1.0f);  // 140 %: 70 degrees for full
    EXPECT_EQ(flight.leftFootTurn, 0.02f / static_cast<float>(1.0 + 0.1 * 4) * 70.0f);
    steerWithFeet(flight, kOn, kOff, 120.0f, 0.0f, 4, 1.0f);
    EXPECT_EQ(flight.steering, 1.0f);
}

TEST(FlightToePedals, FollowTheTiltBelowThirtyAndHoldAtOrBelowMinusFive) {
    FlightSimState flight;
    moveToePedals(flight, 30.0f, 3.0f, 33);
    EXPECT_EQ(flight.leftToePedal, 0.0f);
    const auto raw = static_cast<float>(27.0 * 1.1 / 30.0);
    EXPECT_EQ(flight.rightToePedal, raw * 33.0f * 0.0028571428f);

    flight.leftToePedal = 0.4f;
    moveToePedals(flight, -5.0f, 3.0f, 33);
    EXPECT_EQ(flight.leftToePedal, 0.4f);
    moveToePedals(flight, -4.9f, 3.0f, 33);
    EXPECT_GT(flight.leftToePedal, 0.4f);
}

TEST(FlightToePedals, AfterALongPauseThePedalGoesToItsValueInsteadOfOvershootingToALimit) {
    FlightSimState flight;
    flight.rightToePedal = 0.3f;
    moveToePedals(flight, 29.0f, 19.0f, 10000);  // raw 11 * 1.1 / 30
    EXPECT_EQ(flight.rightToePedal, static_cast<float>(11.0 * 1.1 / 30.0));
}

struct FlightStageTest : ::testing::Test {
    TestHub t;
    FlightStageTest() {
        t.hub.state.dialog.vjoyMode = 7;
        t.hub.state.remote.feederEnabled.store(true);
        t.hub.state.feeder.acknowledged = true;
        t.deck.record.lRz = 235;  // both feet beyond the reference tilt: toe pedals at rest
        t.deck.record.lRx = 235;
    }
    std::vector<std::vector<std::uint8_t>> feederSends() const {
        std::vector<std::vector<std::uint8_t>> bytes;
        for (const auto& datagram : t.socket.to(kFeederPort)) bytes.push_back(datagram.bytes);
        return bytes;
    }
};

TEST_F(FlightStageTest, WithNothingMovingNoDatagramIsSentHoweverLong) {
    t.hub.state.flight.lastTime = 1000;
    for (std::uint64_t now = 1000; now < 20000; now += 33) t.tick(now);
    EXPECT_TRUE(feederSends().empty());
    EXPECT_EQ(t.window.texts[control::kSteeringValue], "-0.000000");
}

TEST_F(FlightStageTest, RightFootSteeringReachesByte178AndTheDisplayShowsItNegated) {
    t.deck.record.rgbButtons[2] = 0x80;  // pair B = 1
    t.deck.record.lZ = 1000;
    std::uint64_t now = 1000;
    t.tick(now);
    t.tick(now += 33);  // the right foot comes on with this tick's heading
    // About 20 degrees less: h = lZ * 0.128, degrees = h * 1.4117647.
    t.deck.record.lZ = 1000 - 111;
    for (int i = 0; i < 200; ++i) t.tick(now += 33);
    EXPECT_NEAR(t.hub.state.flight.steering, 0.02f * (static_cast<float>(889 * 0.128) * 1.4117647f -
                                                     static_cast<float>(1000 * 0.128) * 1.4117647f),
                1e-6);
    ASSERT_FALSE(feederSends().empty());
    EXPECT_EQ(feederSends().back()[3], 178);
    EXPECT_EQ(t.window.texts[control::kSteeringValue].substr(0, 4), "0.40");
}

TEST_F(FlightStageTest, ReleasingTheSpringDialSendsCentreAndHoldMovesOnFinerSteps) {
    t.attachGamepad();
    t.hub.state.flight.lastTime = 1000;
    t.hub.state.flight.springDial = 0.5f;
    t.hub.state.flight.latched.springDial = 0.5f;
    t.hub.state.stick1.startQuadrant = 2;
    t.hub.state.flight.holdDial = 0.0005f;  // beyond the hold threshold only
    t.tick(1033);
    ASSERT_EQ(feederSends().size(), 1u);
    EXPECT_EQ(feederSends()[0][1], 128);
    EXPECT_EQ(t.hub.state.flight.latched.holdDial, 0.0005f);
}

TEST_F(FlightStageTest, WithoutAGamepadTheDialsAndTheThrottleKeepTheirValues) {
    t.hub.state.stick1 = engaged(0, 90.0f);
    t.hub.state.flight.throttleDial = 0.2f;
    t.hub.state.vjoy.throttle = 0.7f;
    t.tick(1000);
    t.tick(1033);
    EXPECT_EQ(t.hub.state.flight.throttleDial, 0.2f);
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.700000");
}

TEST_F(FlightStageTest, TheBrakeDisplayIsTheRightToePedalAndBytesSixSevenCarryPresentValues) {
    t.hub.state.flight.lastTime = 1000;
    t.deck.record.lRz = 0;  // right foot flat: full toe pedal after a while
    for (std::uint64_t now = 1033; now < 3000; now += 33) t.tick(now);
    EXPECT_EQ(t.hub.state.flight.rightToePedal, 1.0f);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    EXPECT_EQ(feederSends().back()[7], 255);
}

}  // namespace
}  // namespace hub
