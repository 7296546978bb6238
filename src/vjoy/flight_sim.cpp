#include "vjoy/flight_sim.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/controls.h"
#include "base/text_format.h"

namespace hub {

namespace {

// Smoothing rates per millisecond, and the factors that replace them after a pause.
constexpr double kThrottleRate = 0.00028571428571428574;  // 1/3500
constexpr double kSpringRate = 0.002;
constexpr double kHoldRate = 0.0004;
constexpr double kSteeringRate = 0.002857142857142857;  // 1/350
constexpr float kToePedalRate = 0.0028571428f;
constexpr float kDialPauseFactor = 1.0f;      // a dial factor above this is replaced
constexpr float kSteeringPauseFactor = 0.5f;  // likewise for the steering
constexpr float kThrottleAfterPause = 0.0001f;
constexpr float kSpringAfterPause = 0.00002f;
constexpr float kHoldAfterPause = 0.00002f;
constexpr float kSteeringAfterPause = 0.0002f;

// Sectors of stick 1 in which a rotation can begin.
constexpr int kStickLeft = 0;   // throttle
constexpr int kStickFront = 2;  // spring dial
constexpr int kStickRight = 3;  // hold dial

constexpr float kDialPerDegree = 0.01f;      // 100 degrees from empty to full throttle
constexpr float kSteeringPerDegree = 0.02f;  // at 100 % sensitivity: 50 degrees give full steering
constexpr double kSensitivityStep = 0.1;     // per step of the sensitivity index
constexpr int kFootOn = 1;                   // the pair's first button pressed, its second released

constexpr float kTiltReference = 30.0f;  // the tilt at which a toe pedal reads 0
constexpr double kToePedalGain = 1.1;
constexpr float kToeTiltFloor = -5.0f;  // at or below it a toe pedal keeps its value

constexpr double kDialThreshold = 0.001;   // how far a field must move to be sent again
constexpr double kHoldThreshold = 0.0001;  // the hold dial is sent on finer moves

float smoothingFactor(std::int32_t dt, double rate, float largest, float afterPause) {
    const auto factor = static_cast<float>(static_cast<double>(dt) * rate);
    return factor > largest ? afterPause : factor;
}

float follow(float value, float target, float factor) { return value + (target - value) * factor; }

float followToe(float pedal, float tilt, std::int32_t dt) {
    if (tilt <= kToeTiltFloor) return pedal;
    const auto raw = static_cast<float>(static_cast<double>(kTiltReference - tilt) * kToePedalGain /
                                        static_cast<double>(kTiltReference));
    // The factor is never replaced: after a pause the pedal overshoots its raw
    // value in one stage and the limits hold it, as users of the mode expect.
    const float moved = pedal + (raw - pedal) * static_cast<float>(dt) * kToePedalRate;
    return std::clamp(moved, 0.0f, 1.0f);
}

// A field counts as moved when it left its latched value by more than the
// threshold; a moved field latches its present value.
int latchIfMoved(float& latched, float present, double threshold) {
    if (static_cast<double>(std::fabs(present - latched)) <= threshold) return 0;
    latched = present;
    return 1;
}

}  // namespace

std::int32_t flightTimeStep(std::uint64_t now, std::int32_t lastTime) {
    const auto low = static_cast<std::uint32_t>(now);
    const auto dt = static_cast<std::int32_t>(low - static_cast<std::uint32_t>(lastTime));
    return std::max(dt, 0);
}

FlightFactors flightFactors(std::int32_t dt) {
    return {smoothingFactor(dt, kThrottleRate, kDialPauseFactor, kThrottleAfterPause),
            smoothingFactor(dt, kSpringRate, kDialPauseFactor, kSpringAfterPause),
            smoothingFactor(dt, kHoldRate, kDialPauseFactor, kHoldAfterPause),
            smoothingFactor(dt, kSteeringRate, kSteeringPauseFactor, kSteeringAfterPause)};
}

void turnFlightDials(FlightSimState& flight, const Stick1Tracker& stick1, const FlightFactors& factors,
                     float& vjoyThrottle) {
    const float turn = stick1.totalTurn;
    if (stick1.tracking) {
        switch (stick1.startQuadrant) {
            case kStickLeft: {
                const float target = flight.throttleDialBase + kDialPerDegree * turn;
                flight.throttleDial = std::clamp(follow(flight.throttleDial, target, factors.throttle), 0.0f, 1.0f);
                vjoyThrottle = flight.throttleDial;
                break;
            }
            case kStickFront: {
                const float target = kDialPerDegree * turn;
                flight.springDial = std::clamp(follow(flight.springDial, target, factors.spring), -1.0f, 1.0f);
                break;
            }
            case kStickRight: {
                // Circling clockwise from the right side lowers the hold dial.
                const float target = flight.holdDialBase - kDialPerDegree * turn;
                flight.holdDial = std::clamp(follow(flight.holdDial, target, factors.hold), -1.0f, 1.0f);
                break;
            }
            default: break;  // from the back: no dial
        }
        return;
    }
    // Released: commit the throttle and hold values as the next rotation's bases, let the spring go.
    switch (stick1.startQuadrant) {
        case kStickLeft: flight.throttleDialBase = flight.throttleDial; break;
        case kStickFront: flight.springDial = 0.0f; break;
        case kStickRight: flight.holdDialBase = flight.holdDial; break;
        default: break;
    }
}

void steerWithFeet(FlightSimState& flight, int touchPairA, int touchPairB, float headingLF, float headingRF,
                   int stickSensitivity, float steeringFactor) {
    const float perDegree =
        kSteeringPerDegree / static_cast<float>(1.0 + kSensitivityStep * static_cast<double>(stickSensitivity));

    // Each foot steers one way only; a twist the other way drags its reference along.
    if (touchPairB == kFootOn) {
        if (flight.prevTouchPairB != kFootOn) flight.rightFootRef = headingRF;
        flight.rightFootTurn = perDegree * angleDelta(flight.rightFootRef, headingRF);
        if (flight.rightFootTurn > 0.0f) {
            flight.rightFootTurn = 0.0f;
            flight.rightFootRef = headingRF;
        }
    }
    if (touchPairA == kFootOn) {
        if (flight.prevTouchPairA != kFootOn) flight.leftFootRef = headingLF;
        flight.leftFootTurn = perDegree * angleDelta(flight.leftFootRef, headingLF);
        if (flight.leftFootTurn < 0.0f) {
            flight.leftFootTurn = 0.0f;
            flight.leftFootRef = headingLF;
        }
    }

    // The foot not selected starts from zero when it takes over.
    float demand;
    if (std::fabs(flight.leftFootTurn) > std::fabs(flight.rightFootTurn)) {
        demand = flight.leftFootTurn;
        flight.rightFootRef = headingRF;
    } else {
        demand = flight.rightFootTurn;
        flight.leftFootRef = headingLF;
    }
    flight.steering = std::clamp(follow(flight.steering, demand, steeringFactor), -1.0f, 1.0f);
    flight.prevTouchPairA = touchPairA;
    flight.prevTouchPairB = touchPairB;
}

void moveToePedals(FlightSimState& flight, float tiltLF, float tiltRF, std::int32_t dt) {
    flight.leftToePedal = followToe(flight.leftToePedal, tiltLF, dt);
    flight.rightToePedal = followToe(flight.rightToePedal, tiltRF, dt);
}

void runFlightSimStage(FlightSimState& flight, const FlightSimInputs& in, float& vjoyThrottle, float& vjoyBrake,
                       Window& window) {
    const std::int32_t dt = flightTimeStep(in.now, flight.lastTime);
    const FlightFactors factors = flightFactors(dt);

    if (in.stick1 != nullptr) turnFlightDials(flight, *in.stick1, factors, vjoyThrottle);
    steerWithFeet(flight, in.touchPairA, in.touchPairB, in.feet.headingLF, in.feet.headingRF, in.stickSensitivity,
                  factors.steering);
    flight.lastTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(in.now));
    moveToePedals(flight, in.feet.tiltLF, in.feet.tiltRF, dt);

    vjoyBrake = flight.rightToePedal;
    showFixed(window, control::kSteeringValue, -flight.steering);
}

std::optional<FeederDatagram> flightSimDatagram(FlightSimState& flight) {
    FlightSimLatch& latched = flight.latched;
    const int movedFields = latchIfMoved(latched.springDial, flight.springDial, kDialThreshold) +
                            latchIfMoved(latched.holdDial, flight.holdDial, kHoldThreshold) +
                            latchIfMoved(latched.steering, -flight.steering, kDialThreshold) +
                            latchIfMoved(latched.throttleDial, flight.throttleDial, kDialThreshold) +
                            latchIfMoved(latched.leftToePedal, flight.leftToePedal, kDialThreshold) +
                            latchIfMoved(latched.rightToePedal, flight.rightToePedal, kDialThreshold);
    if (movedFields == 0) return std::nullopt;
    // The pedals go out with their present values, the other fields latched.
    const std::array<std::uint8_t, wire::kJoystickStateLength> datagram{wire::kJoystickStateTag,
                                                                        centredByte(latched.springDial),
                                                                        centredByte(latched.holdDial),
                                                                        centredByte(latched.steering),
                                                                        unitByte(latched.throttleDial),
                                                                        0,
                                                                        unitByte(flight.leftToePedal),
                                                                        unitByte(flight.rightToePedal)};
    return atOnce(datagram);
}

void flightSimFedAtRest(FlightSimState& flight) {
    flight.latched.steering = 0.0f;
    flight.latched.leftToePedal = 0.0f;
    flight.latched.rightToePedal = 0.0f;
}

}  // namespace hub
