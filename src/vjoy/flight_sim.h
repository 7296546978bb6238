// Mode 7, "Flight Sim": foot twists steer, foot tilts drive toe pedals, circling the gamepad's first stick sets three dials.
#pragma once

#include <cstdint>
#include <optional>

#include "base/edges.h"
#include "base/foot_axes.h"
#include "base/stick_rotation.h"
#include "links/feeder_link.h"

namespace hub {

// The value of each datagram field when it last went into a datagram.
struct FlightSimLatch {
    float springDial = 0.0f;
    float holdDial = 0.0f;
    float steering = 0.0f;  // the datagram's steering, -flightSteering
    float throttleDial = 0.0f;
    float leftToePedal = 0.0f;
    float rightToePedal = 0.0f;
};

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct FlightSimState {
    std::int32_t lastTime = 0;      // low 32 bits of the clock at the previous stage
    float throttleDial = 0.0f;      // 0 ... 1, dialled from the left side of the stick
    float throttleDialBase = 0.0f;  // throttleDial when the current rotation began
    float springDial = 0.0f;        // -1 ... 1, dialled from the front; back to 0 on release
    float holdDial = 0.0f;          // -1 ... 1, dialled from the right side; kept on release
    float holdDialBase = 0.0f;
    float leftFootRef = 0.0f, rightFootRef = 0.0f;    // reference headings, degrees
    float leftFootTurn = 0.0f;                         // >= 0
    float rightFootTurn = 0.0f;                        // <= 0
    int prevTouchPairA = 0, prevTouchPairB = 0;
    float steering = 0.0f;                             // -1 ... 1, smoothed
    float leftToePedal = 0.0f, rightToePedal = 0.0f;   // 0 ... 1, smoothed
    FlightSimLatch latched;
};

// Smoothing factors of the dials and the steering for one stage, each
// proportional to the time step and, where it would be too large after a
// pause, replaced by a small one so the value creeps instead of jumping.
struct FlightFactors {
    float throttle;
    float spring;
    float hold;
    float steering;
};

// Milliseconds since the previous stage from the low 32 bits of the clock,
// taken as a signed difference; a negative step (the low bits wrapped) is 0.
std::int32_t flightTimeStep(std::uint64_t now, std::int32_t lastTime);
FlightFactors flightFactors(std::int32_t dt);

// The stage's steps, in the order the stage runs them.
void turnFlightDials(FlightSimState& flight, const Stick1Tracker& stick1, const FlightFactors& factors,
                     float& vjoyThrottle);
void steerWithFeet(FlightSimState& flight, int touchPairA, int touchPairB, float headingLF, float headingRF,
                   int stickSensitivity, float steeringFactor);
void moveToePedals(FlightSimState& flight, float tiltLF, float tiltRF, std::int32_t dt);

// What the mode stage reads.
struct FlightSimInputs {
    std::uint64_t now = 0;
    const Stick1Tracker* stick1 = nullptr;  // the gamepad's first stick; null without a gamepad
    int touchPairA = 0, touchPairB = 0;
    FootAxes feet;
    int stickSensitivity = 0;
};

// The mode stage: the dials, the foot steering and the toe pedals; the
// throttle dial drives the vJoy throttle, the right toe pedal its brake.
void runFlightSimStage(FlightSimState& flight, const FlightSimInputs& in, float& vjoyThrottle, float& vjoyBrake,
                       Window& window);

// The joystick state datagram, at once, when a field moved since it was last
// sent; none otherwise (this mode has no periodic repeat).
std::optional<FeederDatagram> flightSimDatagram(FlightSimState& flight);

// The feeder got the steering and the toe pedals at rest: they latch at 0,
// so the next datagram goes out when they are still pressed.
void flightSimFedAtRest(FlightSimState& flight);

}  // namespace hub
