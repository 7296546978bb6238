#include "vjoy/skate.h"

#include <algorithm>
#include <cmath>

#include "base/stick_rotation.h"


namespace hub {

namespace {

// Touch pair values: 0 lifted, 1 and 2 one button alone, 3 both (flat).
constexpr int kLifted = 0;
constexpr int kFirstOnly = 1;
constexpr int kSecondOnly = 2;
constexpr int kBoth = 3;

constexpr float kStartSpeed = 0.5f;
constexpr float kStartPushPeriod = 1.0f;  // seconds
constexpr double kSpeedSmoothing = 0.4;
constexpr double kDecayAfterPeriods = 1.1;
constexpr float kHalfSecond = 0.5f;                   // speed x period
constexpr double kHalfSecondInMs = 499.99997f;        // float just below 500
constexpr std::uint64_t kSetDownTimeoutMs = 150;
constexpr float kReverseEntryTilt = 10.0f;
constexpr float kReverseGain = -0.05f;
constexpr float kTurnGainButton1 = -0.04f;
constexpr float kTurnGainButton0 = -0.05f;
constexpr float kGestureHeading = 15.0f;  // degrees
constexpr std::int32_t kPulseRiseMs = 150;
constexpr std::int32_t kPulseEndMs = 200;
constexpr double kPulseRisePerMs = 0.006666666666666667;
constexpr double kPulseFallPerMs = 0.02;

// Whether the turn step (B = 3) runs after the speed step, or the tick goes
// straight on to the limit.
enum class AfterSpeed { TurnStep, Limit };

// First-order step of the speed towards a target, in double precision, at
// most 1; the push period follows the new speed.
void approachSpeed(SkateState& skate, double target) {
    const double speed = skate.speed;
    skate.speed = std::min(static_cast<float>(speed + kSpeedSmoothing * (target - speed)), 1.0f);
    skate.pushPeriod = kHalfSecond / skate.speed;
}

AfterSpeed startFromIdle(SkateState& skate, const SkateInputs& in) {
    if (skate.prevPairB == kLifted && in.pairB == kSecondOnly) {
        skate.motion = SkateMotion::Pushing;
        skate.speed = kStartSpeed;
        skate.pushPeriod = kStartPushPeriod;
        skate.pushTime = in.now;
        return AfterSpeed::Limit;
    }
    if (in.pairB == kFirstOnly) {
        if (in.tiltRF > kReverseEntryTilt) skate.motion = SkateMotion::Reversing;
        return AfterSpeed::Limit;
    }
    if (in.pairB == kSecondOnly) {
        if (skate.prevPairB == kBoth) skate.headingRef = in.headingRF;
        return AfterSpeed::Limit;
    }
    return AfterSpeed::TurnStep;
}

AfterSpeed keepPushing(SkateState& skate, const SkateInputs& in) {
    if (in.pairB == kLifted) {
        // No new push yet: once it is overdue the speed decays towards the
        // speed that pushing at this interval would give.
        const float elapsed = static_cast<float>(in.now - skate.pushTime) * 0.001f;
        if (static_cast<double>(elapsed) > kDecayAfterPeriods * static_cast<double>(skate.pushPeriod)) {
            approachSpeed(skate, kHalfSecond / static_cast<double>(elapsed));
        }
        return AfterSpeed::Limit;
    }
    if (in.pairB == kSecondOnly) {
        if (skate.prevPairB == kLifted) {
            const float sincePushMs = static_cast<float>(in.now - skate.pushTime);
            approachSpeed(skate, kHalfSecondInMs / static_cast<double>(sincePushMs));
            skate.pushTime = in.now;
        }
        return AfterSpeed::Limit;
    }
    // The foot set down (B = 1 or 3): held longer than the time-out, it stops.
    if (skate.prevPairB == kLifted || skate.prevPairB == kSecondOnly) {
        skate.setDownTime = in.now;
    } else if (in.now - skate.setDownTime > kSetDownTimeoutMs) {
        skate.speed = 0.0f;
        skate.motion = SkateMotion::Idle;
    }
    return AfterSpeed::TurnStep;
}

AfterSpeed keepReversing(SkateState& skate, const SkateInputs& in) {
    skate.speed = std::max(kReverseGain * std::fabs(in.tiltRF), -1.0f);
    if (in.pairB == kFirstOnly) return AfterSpeed::Limit;
    skate.speed = 0.0f;
    skate.motion = SkateMotion::Idle;
    return AfterSpeed::TurnStep;
}

// Pair A flat (both buttons) lets pair B push, reverse or set the
// heading reference.
AfterSpeed updateSpeed(SkateState& skate, const SkateInputs& in) {
    if (in.pairA != kBoth) return AfterSpeed::TurnStep;
    switch (skate.motion) {
        case SkateMotion::TurningByButton0:
        case SkateMotion::TurningByButton1:
            skate.turn = 0.0f;
            skate.motion = SkateMotion::Idle;
            return startFromIdle(skate, in);
        case SkateMotion::Idle: return startFromIdle(skate, in);
        case SkateMotion::Pushing: return keepPushing(skate, in);
        case SkateMotion::Reversing: return keepReversing(skate, in);
    }
    return AfterSpeed::TurnStep;
}

void turnWithLeftFoot(SkateState& skate, const SkateInputs& in, float gain) {
    skate.turn = gain * in.tiltLF;
    if (in.pairA == kLifted || in.pairA == kBoth) {
        skate.motion = SkateMotion::Idle;
        skate.turn = 0.0f;
    }
}

// Pair B flat stops any pushing and lets pair A choose a turn; the
// turn follows the left foot from the next tick on.
void updateTurn(SkateState& skate, const SkateInputs& in) {
    if (in.pairB != kBoth) return;
    switch (skate.motion) {
        case SkateMotion::Pushing:
        case SkateMotion::Reversing:
            skate.speed = 0.0f;
            [[fallthrough]];
        case SkateMotion::Idle:
            skate.motion = in.pairA == kSecondOnly  ? SkateMotion::TurningByButton1
                           : in.pairA == kFirstOnly ? SkateMotion::TurningByButton0
                                                    : SkateMotion::Idle;
            break;
        case SkateMotion::TurningByButton1: turnWithLeftFoot(skate, in, kTurnGainButton1); break;
        case SkateMotion::TurningByButton0: turnWithLeftFoot(skate, in, kTurnGainButton0); break;
    }
}

// 150 ms up to 1, 50 ms back down to 0.
float pulseShape(std::int32_t elapsedMs) {
    if (elapsedMs < kPulseRiseMs) return static_cast<float>(static_cast<double>(elapsedMs) * kPulseRisePerMs);
    return static_cast<float>(static_cast<double>(kPulseEndMs - elapsedMs) * kPulseFallPerMs);
}

// Releasing both pairs picks a gesture from the right foot's heading;
// the next ticks play it as one pulse.
void updateGesture(SkateState& skate, const SkateInputs& in) {
    if (skate.gesture == kNoGesture) {
        if (in.pairA != kLifted || in.pairB != kLifted) return;
        if (skate.prevPairA != kLifted || skate.prevPairB != kLifted) skate.gestureTime = in.now;
        const float turned = angleDelta(skate.headingRef, in.headingRF);
        skate.gesture = turned > kGestureHeading    ? kGestureTurnedPositive
                        : turned < -kGestureHeading ? kGestureTurnedNegative
                                                    : kGestureStraight;
        return;
    }
    // Elapsed time from the low 32 bits, as a signed number. A negative time
    // (only a first tick after 2^31 ms of uptime, before any release) cannot
    // be a real pulse: it ends the pulse like an elapsed one.
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(in.now) -
                                                   static_cast<std::uint32_t>(skate.gestureTime));
    if (elapsed < 0 || elapsed >= kPulseEndMs) {
        skate.gesture = kNoGesture;
        skate.pulse3 = 0.0f;
        skate.pulse4 = 0.0f;
        return;
    }
    const float pulse = pulseShape(elapsed);
    if (skate.gesture < kGestureTurnedPositive) {
        skate.pulse3 = 0.0f;
        skate.pulse4 = pulse;
    } else {
        skate.pulse4 = 0.0f;
        skate.pulse3 = skate.gesture < kGestureTurnedNegative ? -pulse : pulse;
    }
}

}  // namespace

void advanceSkate(SkateState& skate, const SkateInputs& in) {
    if (updateSpeed(skate, in) == AfterSpeed::TurnStep) updateTurn(skate, in);
    skate.turn = std::clamp(skate.turn, -1.0f, 1.0f);
    updateGesture(skate, in);
    skate.prevPairA = in.pairA;
    skate.prevPairB = in.pairB;
}

FeederDatagram skateDatagram(const SkateState& skate) {
    constexpr int kExactCompareByte = 5;
    const std::array<std::uint8_t, wire::kJoystickStateLength> datagram{
        wire::kJoystickStateTag, offsetByte(skate.turn), offsetByte(skate.speed), offsetByte(skate.pulse3),
        offsetByte(skate.pulse4), 0x00,                  wire::kCentredByte,      wire::kCentredByte};
    return underChangeRule(datagram, kExactCompareByte);
}

}  // namespace hub
