// Mode 7: the time step and its factors, the stick-1 dials, the one-way foot
// steering, the toe pedals and the latched datagram.
#include <gtest/gtest.h>

#include "base/controls.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

TEST(FlightTimeStep, IsTheSignedDifferenceOfTheLow32BitsAndNeverNegative) {
    EXPECT_EQ(flightTimeStep(1033, 1000), 33);
    EXPECT_EQ(flightTimeStep((std::uint64_t{1} << 32) + 10, static_cast<std::int32_t>(0xFFFFFFE9u)), 33);
    EXPECT_EQ(flightTimeStep(1000, 1033), 0);
    EXPECT_EQ(flightTimeStep(0x80000000u, 0), 0);
}

TEST(FlightFactors, ScaleWithTheStepAndAreReplacedOnlyStrictlyAboveTheirBound) {
    EXPECT_EQ(flightFactors(33).throttle, static_cast<float>(33.0 / 3500.0));
    EXPECT_EQ(flightFactors(33).steering, static_cast<float>(33.0 / 350.0));
    EXPECT_EQ(flightFactors(3500).throttle, 1.0f);
    EXPECT_EQ(flightFactors(3501).throttle, 0.0001f);
    EXPECT_EQ(flightFactors(500).spring, 1.0f);
    EXPECT_EQ(flightFactors(501).spring, 0.00002f);
    EXPECT_EQ(flightFactors(2501).hold, 0.00002f);
    EXPECT_EQ(flightFactors(175).steering, 0.5f);
    EXPECT_EQ(flightFactors(176).steering, 0.0002f);
}

Stick1Tracker stick(bool tracking, int quadrant, float totalTurn = 0.0f) {
    Stick1Tracker tracker;
    tracker.tracking = tracking;
    tracker.startQuadrant = quadrant;
    tracker.totalTurn = totalTurn;
    return tracker;
}

TEST(FlightDials, ThrottleFollowsFromItsBaseUpToTheLimitAndKeepsItsValueOnRelease) {
    FlightSimState flight;
    float throttle = 0.0f;
    const FlightFactors factors = flightFactors(33);
    turnFlightDials(flight, stick(true, 0, 50.0f), factors, throttle);
    EXPECT_EQ(flight.throttleDial, 0.5f * factors.throttle);
    EXPECT_EQ(throttle, flight.throttleDial);
    const float reached = flight.throttleDial;
    turnFlightDials(flight, stick(false, 0), factors, throttle);
    turnFlightDials(flight, stick(true, 0, 0.0f), factors, throttle);  // a new rotation starts there
    EXPECT_EQ(flight.throttleDial, reached);
    for (int i = 0; i < 2000; ++i) turnFlightDials(flight, stick(true, 0, 400.0f), factors, throttle);
    EXPECT_EQ(flight.throttleDial, 1.0f);
}

TEST(FlightDials, HoldDialMovesAgainstTheTurnStopsAtMinusOneAndLeavesTheThrottleAlone) {
    FlightSimState flight;
    float throttle = 0.25f;
    turnFlightDials(flight, stick(true, 3, 150.0f), flightFactors(33), throttle);
    EXPECT_LT(flight.holdDial, 0.0f);  // target -1.5: the minus sign
    for (int i = 0; i < 2000; ++i) turnFlightDials(flight, stick(true, 3, 150.0f), flightFactors(33), throttle);
    turnFlightDials(flight, stick(false, 3), flightFactors(33), throttle);
    EXPECT_EQ(flight.holdDial, -1.0f);
    EXPECT_EQ(flight.holdDialBase, -1.0f);
    EXPECT_EQ(throttle, 0.25f);
}

TEST(FlightDials, SpringDialSnapsBackOnReleaseAndTheBackQuadrantMovesNothing) {
    FlightSimState flight;
    float throttle = 0.25f;
    turnFlightDials(flight, stick(true, 2, 90.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.springDial, 0.9f * 0.066f);
    turnFlightDials(flight, stick(false, 2), flightFactors(33), throttle);
    EXPECT_EQ(flight.springDial, 0.0f);
    turnFlightDials(flight, stick(true, 1, 200.0f), flightFactors(33), throttle);
    EXPECT_EQ(flight.throttleDial + flight.springDial + flight.holdDial, 0.0f);
    EXPECT_EQ(throttle, 0.25f);
}

constexpr int kOn = 1;  // first button pressed, second released
constexpr int kOff = 0;

TEST(FlightSteering, RightFootBelowItsReferenceSteersNegativeDividedBySensitivity) {
    FlightSimState flight;
    steerWithFeet(flight, kOff, kOn, 0.0f, 40.0f, 0, 1.0f);  // comes on: reference 40
    steerWithFeet(flight, kOff, kOn, 0.0f, 20.0f, 0, 1.0f);
    EXPECT_EQ(flight.steering, 0.02f * -20.0f);
    steerWithFeet(flight, kOff, kOn, 0.0f, 20.0f, 4, 1.0f);  // 140 %
    EXPECT_EQ(flight.rightFootTurn, 0.02f / static_cast<float>(1.0 + 0.1 * 4) * -20.0f);
}

TEST(FlightSteering, TwistingTheWrongWayDragsTheReferenceSoTwistingBackSteersAtOnce) {
    FlightSimState flight;
    steerWithFeet(flight, kOn, kOn, 0.0f, 0.0f, 0, 1.0f);
    steerWithFeet(flight, kOn, kOn, -12.0f, 15.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.0f);
    EXPECT_EQ(flight.leftFootTurn, 0.0f);
    steerWithFeet(flight, kOn, kOn, -12.0f, 10.0f, 0, 1.0f);
    EXPECT_EQ(flight.rightFootTurn, 0.02f * -5.0f);
}

TEST(FlightSteering, TiesGoToTheRightFootAndALiftedFootKeepsItsDemand) {
    FlightSimState flight;
    flight.leftFootTurn = 0.3f;
    flight.rightFootTurn = -0.3f;
    steerWithFeet(flight, kOff, 3, 7.0f, 9.0f, 0, 1.0f);  // lifted, and both buttons: neither counts as on
    EXPECT_EQ(flight.steering, -0.3f);
    EXPECT_EQ(flight.leftFootRef, 7.0f);  // the other foot's reference follows its heading
    flight.leftFootTurn = 0.31f;
    steerWithFeet(flight, kOff, kOff, 7.0f, 9.0f, 0, 1.0f);
    EXPECT_EQ(flight.steering, 0.31f);
    EXPECT_EQ(flight.rightFootRef, 9.0f);
}

TEST(FlightToePedals, FollowTheTiltHoldAtMinusFiveAndOvershootToTheLimitAfterAPause) {
    FlightSimState flight;
    flight.leftToePedal = 0.4f;
    moveToePedals(flight, -5.0f, 3.0f, 33);
    EXPECT_EQ(flight.leftToePedal, 0.4f);
    EXPECT_EQ(flight.rightToePedal, static_cast<float>(27.0 * 1.1 / 30.0) * 33.0f * 0.0028571428f);
    // After 10 s the factor is not replaced: the pedal overshoots its value and stops at a limit.
    flight.rightToePedal = 0.3f;
    flight.leftToePedal = 0.5f;
    moveToePedals(flight, 29.0f, 19.0f, 10000);
    EXPECT_EQ(flight.rightToePedal, 1.0f);
    EXPECT_EQ(flight.leftToePedal, 0.0f);
}

// Once the feeder has had the steering and the toe pedals at rest, each one
// still held is sent again by the next datagram, even alone; the dials stay.
TEST(FlightRelease, EachFieldTheStepdeckHoldsGoesOutAgainAfterTheFeederHadItAtRest) {
    const auto held = [](float FlightSimLatch::*latch, float FlightSimState::*value) {
        FlightSimState flight;
        flight.*value = 0.8f;
        flight.latched.*latch = latch == &FlightSimLatch::steering ? -0.8f : 0.8f;  // as last sent
        return flight;
    };
    for (FlightSimState flight : {held(&FlightSimLatch::steering, &FlightSimState::steering),
                                  held(&FlightSimLatch::leftToePedal, &FlightSimState::leftToePedal),
                                  held(&FlightSimLatch::rightToePedal, &FlightSimState::rightToePedal)}) {
        EXPECT_EQ(flightSimDatagram(flight), std::nullopt);
        flightSimFedAtRest(flight);
        EXPECT_TRUE(flightSimDatagram(flight).has_value());
    }
    FlightSimState dials;
    dials.holdDial = dials.latched.holdDial = 0.5f;
    flightSimFedAtRest(dials);
    EXPECT_EQ(flightSimDatagram(dials), std::nullopt);
}

struct FlightStageTest : ::testing::Test {
    ScriptedHub t;
    FlightStageTest() {
        t.hub.state.dialog.vjoyMode = VjoyMode::FlightSim;
        t.hub.state.remote.feederEnabled.store(true);
        t.hub.state.feeder.acknowledged = true;
        t.hub.state.vjoy.flight.lastTime = 1000;
        t.deck.record.lRz = t.deck.record.lRx = 235;  // beyond the reference tilt: toe pedals at 0
    }
    std::size_t feederSends() const { return t.socket.to(45042).size(); }
};

TEST_F(FlightStageTest, WithNothingMovingNoDatagramIsSentHoweverLong) {
    for (std::uint64_t now = 1000; now < 20000; now += 33) t.tick(now);
    EXPECT_EQ(feederSends(), 0u);
    EXPECT_EQ(t.window.texts[control::kSteeringValue], "-0.000000");
}

TEST_F(FlightStageTest, ReleasingTheSpringDialSendsCentreAndHoldMovesOnFinerSteps) {
    t.attachGamepad();
    t.hub.state.vjoy.flight.springDial = t.hub.state.vjoy.flight.latched.springDial = 0.5f;
    t.hub.state.stick1.startQuadrant = 2;
    t.hub.state.vjoy.flight.holdDial = 0.0005f;  // beyond the hold threshold only
    t.tick(1033);
    ASSERT_EQ(feederSends(), 1u);
    EXPECT_EQ(t.socket.to(45042)[0].bytes[1], 128);
    EXPECT_EQ(t.hub.state.vjoy.flight.latched.holdDial, 0.0005f);
}

TEST_F(FlightStageTest, ToePedalBytesCarryThePresentValueNotTheLatchedOne) {
    t.attachGamepad();
    t.deck.record.lRz = t.deck.record.lRx = -100;  // tilted below -5: the toe pedals keep their values
    t.hub.state.vjoy.flight.rightToePedal = 0.5024f;     // unit byte 128
    t.hub.state.vjoy.flight.latched.rightToePedal = 0.5015f;  // unit byte 127, within the threshold
    t.hub.state.vjoy.flight.springDial = t.hub.state.vjoy.flight.latched.springDial = 0.5f;
    t.hub.state.stick1.startQuadrant = 2;  // released: the spring dial moves back to 0
    t.tick(1033);
    ASSERT_EQ(feederSends(), 1u);
    EXPECT_EQ(t.socket.to(45042)[0].bytes[7], 128);
    EXPECT_EQ(t.hub.state.vjoy.flight.latched.rightToePedal, 0.5015f);
}

TEST_F(FlightStageTest, WithoutAGamepadTheDialsKeepTheirValuesAndTheBrakeIsTheRightToePedal) {
    t.hub.state.stick1 = stick(true, 0, 90.0f);
    t.hub.state.vjoy.flight.throttleDial = 0.2f;
    t.deck.record.lRz = 0;  // right foot flat: full toe pedal after a while
    for (std::uint64_t now = 1033; now < 3000; now += 33) t.tick(now);
    EXPECT_EQ(t.hub.state.vjoy.flight.throttleDial, 0.2f);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    EXPECT_EQ(t.socket.to(45042).back().bytes[7], 255);
}

}  // namespace
}  // namespace hub
