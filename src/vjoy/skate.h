// Mode 5, "Skate": pushes, reverse, turns and heading gestures as four skating values.
#pragma once

#include <array>
#include <cstdint>

#include "links/feeder_link.h"

namespace hub {

// What the skater is doing. The turning states are named after the touch
// button of pair A that chose them (pair A = 2 is button 1 alone).
enum class SkateMotion : int {
    TurningByButton0 = -2,
    Reversing = -1,
    Idle = 0,
    Pushing = 1,
    TurningByButton1 = 2,
};

// The heading gesture a release of both touch pairs plays as a 200 ms pulse.
inline constexpr int kNoGesture = -1;
inline constexpr int kGestureStraight = 0;          // pulse on value 4
inline constexpr int kGestureTurnedPositive = 10;   // negative pulse on value 3
inline constexpr int kGestureTurnedNegative = 20;   // positive pulse on value 3

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct SkateState {
    SkateMotion motion = SkateMotion::Idle;
    float speed = 0.0f;                  // -1 ... 1
    float turn = 0.0f;                   // -1 ... 1
    std::uint64_t pushTime = 0;          // ms, the last push
    float pushPeriod = 0.0f;             // s, expected time between pushes
    std::uint64_t setDownTime = 0;       // ms, the foot set down while pushing
    float headingRef = 0.0f;             // degrees, reference for the gesture
    int gesture = kGestureStraight;
    std::uint64_t gestureTime = 0;       // ms, both pairs last released
    float pulse3 = 0.0f;                 // -1 ... 1
    float pulse4 = 0.0f;                 // 0 ... 1
    int prevPairA = 0, prevPairB = 0;
};

// One Skate tick's inputs.
struct SkateInputs {
    int pairA = 0;  // touch buttons 0 and 1
    int pairB = 0;  // touch buttons 2 and 3
    float tiltLF = 0.0f;
    float tiltRF = 0.0f;
    float headingRF = 0.0f;  // degrees
    std::uint64_t now = 0;
};

// Advances the skating values by one tick.
void advanceSkate(SkateState& skate, const SkateInputs& in);

// The joystick state datagram of the skating values, under the change rule.
// The mode advances only as its datagram is built: while the feeder is
// enabled.
FeederDatagram skateDatagram(const SkateState& skate);

}  // namespace hub
