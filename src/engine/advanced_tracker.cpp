#include "engine/advanced_tracker.h"

#include <algorithm>
#include <cmath>

#include "engine/locomotion.h"
#include "engine/stick_pipeline.h"

namespace hub {

namespace {

constexpr std::uint64_t kUpdateGateMs = 15;       // updates are at least 16 ms apart
constexpr std::uint64_t kCandidateHoldMs = 150;   // a single-foot tilt held this long engages
constexpr std::uint64_t kPatternSettleMs = 30;    // a tilt pattern is accepted after this
constexpr std::uint64_t kLevelBeforeTiltMs = 200; // level stance needed before a quick tilt engages
constexpr std::uint64_t kLiftSettleMs = 30;       // a lift state is accepted after this
constexpr std::uint64_t kFlightMs = 150;          // both pairs free this long is a flight phase
constexpr std::uint64_t kWalkStopMs = 200;
constexpr std::uint64_t kLevelStopMs = 300;
constexpr float kEngageSpeed = 0.3f;
// Tilt to speed: a tilt of 30 (directions 1 and 3) or 25 (directions 2 and 4) is full speed.
constexpr float kSpeedPerTiltBy30 = 0.033333335f;
constexpr float kSpeedPerTiltBy25 = 0.04f;

bool pairFree(int pair) { return pair == 0; }
bool bothPairsTouched(const AdvancedInputs& in) { return !pairFree(in.touchPairA) && !pairFree(in.touchPairB); }
bool allFourPressed(const AdvancedInputs& in) { return in.touchPairA == 3 && in.touchPairB == 3; }
bool feetWithin(const AdvancedInputs& in, float limit) {
    return std::fabs(in.tiltRF) < limit && std::fabs(in.tiltLF) < limit;
}
bool singleRelease(int liftState) { return liftState == 1 || liftState == 2; }
bool stepping(int stepPhase) { return stepPhase == kPhaseWalking || stepPhase == kPhaseFlight; }

int liftState(const AdvancedInputs& in) {
    return (pairFree(in.touchPairA) ? 2 : 0) + (pairFree(in.touchPairB) ? 1 : 0);
}

// 3 when a pair is free; 2 right foot clearly tilted alone; 1 left foot
// clearly tilted alone; 0 otherwise.
int tiltPattern(const AdvancedInputs& in) {
    if (!bothPairsTouched(in)) return 3;
    const float r = std::fabs(in.tiltRF);
    const float l = std::fabs(in.tiltLF);
    if (r > 13.0f && l < 8.0f) return 2;
    if (r < 8.0f && l > 13.0f) return 1;
    return 0;
}

// The candidate keeps its value while a foot is between 8 and 13.
int nextTiltCandidate(int candidate, const AdvancedInputs& in) {
    if (!bothPairsTouched(in)) return 0;
    const float r = std::fabs(in.tiltRF);
    const float l = std::fabs(in.tiltLF);
    if (r >= 8.0f) {
        if (r > 13.0f && l < 8.0f) return in.tiltRF > 0.0f ? 2 : 1;
        return candidate;
    }
    if (l < 8.0f) return 0;
    if (l > 13.0f) return in.tiltLF > 0.0f ? 3 : 4;
    return candidate;
}

// Every engage starts the motion at the same low speed, with the step
// period still unknown.
void engage(AdvancedTracker& s, int direction) {
    s.advDirection = direction;
    s.stepPhase = kPhaseEngaged;
    s.stepPeriod = -1.0f;
    s.advSpeed = kEngageSpeed;
    s.advSpeedSmooth = kEngageSpeed;
    s.releaseSeen = false;
    s.tiltCandidate = 0;
    s.tiltCandidateLast = 0;
}

void stand(AdvancedTracker& s, const AdvancedInputs& in) {
    const std::uint64_t now = in.tickNow;
    const int pattern = tiltPattern(in);
    s.tiltCandidate = nextTiltCandidate(s.tiltCandidate, in);
    if (s.tiltCandidate != s.tiltCandidateLast) {
        s.tiltCandidateSince = now;
        s.tiltCandidateLast = s.tiltCandidate;
    }
    if (now - s.tiltCandidateSince > kCandidateHoldMs && s.tiltCandidate != 0) {
        static constexpr int kDirectionOfCandidate[] = {kStanding, kRightNegative, kRightPositive, kLeftPositive,
                                                        kLeftNegative};
        engage(s, kDirectionOfCandidate[s.tiltCandidate]);
        return;
    }

    if (pattern != s.tiltPatternLast) {
        s.tiltPatternSince = now;
        s.tiltPatternLast = pattern;
    }
    if (pattern == s.tiltPatternStable || now - s.tiltPatternSince <= kPatternSettleMs) return;
    const int previousPattern = s.tiltPatternStable;
    const std::uint64_t previousLasted = now - s.tiltPatternStableSince;
    s.tiltPatternStableSince = s.tiltPatternSince;
    s.tiltPatternStable = pattern;
    if (previousPattern != 0 || previousLasted <= kLevelBeforeTiltMs) return;
    // Patterns 1 and 2 mean the driving foot is beyond 13 either way.
    if (pattern == 1) {
        engage(s, in.tiltLF > 13.0f ? kLeftPositive : kLeftNegative);
    } else if (pattern == 2) {
        engage(s, in.tiltRF > 13.0f ? kRightPositive : kRightNegative);
    } else {
        return;
    }
    s.advSpeedSlow = kEngageSpeed;
}

// Before the first release the speed follows the tilt, and the direction may
// still move to the foot tilted further.
void followTilt(AdvancedTracker& s, const AdvancedInputs& in) {
    if (allFourPressed(in)) s.stepPhase = kPhaseStop;
    if (feetWithin(in, 6.0f)) s.stepPhase = kPhaseStop;

    const float r = std::fabs(in.tiltRF);
    const float l = std::fabs(in.tiltLF);
    if (r > l && r > 10.0f) {
        s.advDirection = in.tiltRF > 0.0f ? kRightPositive : kRightNegative;
    } else if (r <= l && l > 10.0f) {
        s.advDirection = in.tiltLF > 0.0f ? kLeftPositive : kLeftNegative;
    }
    float t = 0.0f;
    switch (s.advDirection) {
        case kRightPositive: t = r * kSpeedPerTiltBy30; break;
        case kRightNegative: t = r * kSpeedPerTiltBy25; break;
        case kLeftNegative: t = l * kSpeedPerTiltBy30; break;
        case kLeftPositive: t = l * kSpeedPerTiltBy25; break;
    }
    s.advSpeed = in.engageFactor * std::min(t, 1.0f);
    const double slow = s.advSpeedSlow;
    s.advSpeedSlow = std::min(static_cast<float>((static_cast<double>(s.advSpeed) - slow) * 0.06 + slow), 1.0f);
    s.advSpeed = std::min(s.advSpeed, 0.95f);

    // The boost lifts the lagging smoothed speed to the slow one. It needs a
    // positive previous speed to divide by; without one it stays neutral.
    s.advBoost = 1.0f;
    if (s.advSpeedSlow > 0.6f && s.advShaped > 0.0f) {
        const float boost =
            static_cast<float>(shapeAdvancedSpeed(s.advSpeedSlow) / static_cast<double>(s.advShaped));
        if (std::isfinite(boost) && boost > 1.0f) s.advBoost = boost;
    }
}

// A change of the accepted lift state: counts alternating single releases
// and tunes the step period from how long they last.
void countStep(AdvancedTracker& s, float speedFactor) {
    const int lift = s.liftStable;
    if (!s.stepCounting && singleRelease(lift)) {
        s.stepCounting = true;
        s.lastLift = lift;
        s.flightSeen = false;
    } else if (s.stepCounting && singleRelease(lift) && lift != s.lastLift) {
        s.stepPhase = s.flightSeen ? kPhaseFlight : kPhaseWalking;
        s.lastLift = lift;
        s.flightSeen = false;
    }
    if (!stepping(s.stepPhase)) return;

    if (s.stepPeriod == -1.0f) {
        // A tilt of exactly 0 leaves no speed to derive a period from; the
        // engage speed stands in rather than an infinite period.
        const float speed = s.advSpeed > 0.0f ? s.advSpeed : kEngageSpeed;
        s.stepPeriod = speedFactor / (s.strideConstant * speed);
    }
    if (singleRelease(s.liftStablePrev)) {
        if (s.liftReference > s.stepPeriod) {
            s.stepPeriod = s.liftReference;
        } else {
            const double period = s.stepPeriod;
            s.stepPeriod = static_cast<float>((static_cast<double>(s.liftDuration) - period) * 0.05 + period);
        }
        s.advSpeed = speedFactor / (s.strideConstant * s.stepPeriod);
    }
    if (singleRelease(lift)) s.liftReference = s.stepPeriod;
}

void stopMotion(AdvancedTracker& s) {
    s.stepPhase = kPhaseStop;
    s.stepCounting = false;
}

// No change of the accepted lift state: the stop rules, the flight phase,
// and a single release that outlasts its reference slows the walk at once.
void holdLiftState(AdvancedTracker& s, const AdvancedInputs& in) {
    const std::uint64_t inState = in.tickNow - s.liftStableSince;
    const bool standingOnBoth = s.liftStable == 0 && bothPairsTouched(in);
    if (stepping(s.stepPhase) && standingOnBoth && inState > kWalkStopMs) {
        if (allFourPressed(in) || feetWithin(in, 6.0f)) stopMotion(s);
    }
    const float level = s.stepPhase == kPhaseEngaged ? 6.0f : 5.0f;
    const bool stopped = standingOnBoth && inState > kLevelStopMs && feetWithin(in, level);
    if (stopped) stopMotion(s);

    if (!stopped && s.stepCounting && s.liftStable == 3 && inState > kFlightMs) s.flightSeen = true;

    if (!stepping(s.stepPhase) || !singleRelease(s.liftStable)) return;
    s.liftDuration = static_cast<float>(static_cast<double>(inState) / 1000.0);
    if (s.liftDuration > 1.05f * s.liftReference || s.liftDuration - s.liftReference > 0.2f) {
        s.liftReference = (s.liftDuration - s.stepPeriod) * 0.08f + s.stepPeriod;
        s.advSpeed = in.speedFactor / (s.liftReference * s.strideConstant);
    }
}

void move(AdvancedTracker& s, const AdvancedInputs& in) {
    const std::uint64_t now = in.tickNow;
    const int lift = liftState(in);
    if (lift != s.liftStateLast) {
        s.liftStateSince = now;
        s.liftStateLast = lift;
    }
    const bool stepEvent = now - s.liftStateSince > kLiftSettleMs && lift != s.liftStable;
    if (stepEvent) {
        s.liftStablePrev = s.liftStable;
        s.liftStable = lift;
        s.liftStableSince = s.liftStateSince;
    }
    if (lift != 0) {
        s.releaseSeen = true;
        // A release before the engage phase ever computed the boost would
        // otherwise leave the whole walk multiplied by 0.
        if (s.advBoost == 0.0f) s.advBoost = 1.0f;
    }

    if (s.stepPhase == kPhaseEngaged && !s.releaseSeen) followTilt(s, in);
    if (stepEvent) {
        countStep(s, in.speedFactor);
    } else {
        holdLiftState(s, in);
    }

    if (s.stepPhase == kPhaseStop) {
        s.advLastDirection = s.advDirection;
        s.advDirection = kStanding;
        s.advSpeed = 0.0f;
    }
}

// Rejects a target speed that jumps by more than 0.6, until it has stayed
// away for more than three updates.
void smoothSpeed(AdvancedTracker& s) {
    const double speed = s.advSpeed;
    if (std::fabs(speed - static_cast<double>(s.advSpeedRef)) <= 0.6 || s.advSpeed == 0.0f) {
        const double smooth = s.advSpeedSmooth;
        s.advSpeedSmooth = static_cast<float>((speed - smooth) * 0.4 + smooth);
        s.advSpikeCount = 0.0f;
        s.advSpeedRef = s.advSpeed;
    } else {
        s.advSpikeCount += 1.0f;
        if (s.advSpikeCount > 3.0f) s.advSpeedRef = s.advSpeed;
    }
    s.advShaped = static_cast<float>(shapeAdvancedSpeed(s.advSpeedSmooth));
}

// Once stepping has begun, outputs below 0.25 are pressed towards zero
// (v * (4|v|)^3): a soft dead zone that still meets the line at 0.25.
float smallValueCurve(float v, int stepPhase) {
    if (stepPhase == kPhaseEngaged || std::fabs(v) >= 0.25f) return v;
    const float t = 4.0f * std::fabs(v);
    return v * (t * t * t);
}

void computeOutputs(AdvancedTracker& s) {
    const float speed = s.advShaped * s.advBoost;
    switch (s.advDirection) {
        case kStanding:
            if (s.advLastDirection != kStanding) s.advOutX = s.advOutY = 0.0f;
            break;
        case kRightPositive: s.advOutX = 0.0f; s.advOutY = smallValueCurve(speed, s.stepPhase); break;
        case kRightNegative: s.advOutX = 0.0f; s.advOutY = smallValueCurve(-speed, s.stepPhase); break;
        case kLeftNegative: s.advOutX = smallValueCurve(speed, s.stepPhase); s.advOutY = 0.0f; break;
        case kLeftPositive: s.advOutX = smallValueCurve(-speed, s.stepPhase); s.advOutY = 0.0f; break;
    }
}

void clampOutputs(AdvancedTracker& s) {
    s.advOutX = std::clamp(s.advOutX, -1.0f, 1.0f);
    s.advOutY = std::clamp(s.advOutY, -1.0f, 1.0f);
}

}  // namespace

float advancedEngageFactor(int initialSpeedAdjust) {
    static constexpr float kFactors[] = {1.0f, 0.95f, 0.9f, 0.85f, 0.8f, 0.6f, 0.7f};
    return kFactors[std::clamp(initialSpeedAdjust, 0, 6)];
}

float advancedSpeedFactor(int speedAdjust) {
    static constexpr float kFactors[] = {1.0f, 1.1f, 1.3f, 1.5f, 1.8f, 2.0f};
    return kFactors[std::clamp(speedAdjust, 0, 5)];
}

double shapeAdvancedSpeed(double speed) {
    const double a = std::fabs(speed);
    double shaped = 0.0;
    if (a < 0.5) {
        shaped = 0.6 * a;
    } else if (a < 0.8) {
        shaped = (a - 0.5) + 0.3;
    } else {
        shaped = 2.0 * a - 1.0;
    }
    return std::copysign(shaped, speed);
}

void updateAdvancedTracker(AdvancedTracker& s, const AdvancedInputs& in) {
    if (in.tickNow - s.advLastUpdate > kUpdateGateMs) {
        s.advLastUpdate = in.tickNow;
        if (s.advDirection == kStanding) {
            stand(s, in);
        } else {
            move(s, in);
        }
        smoothSpeed(s);
        computeOutputs(s);
    }
    clampOutputs(s);
}

void runAdvancedTracker(AdvancedTracker& tracker, const AdvancedInputs& in, LocomotionPosition& position,
                        Window& window) {
    updateAdvancedTracker(tracker, in);
    // The X byte and the XDRV x carry opposite signs; the Y byte and y agree.
    replaceLocomotionOutput(position, -tracker.advOutX, -tracker.advOutY, floorCentredByte(127.0f * tracker.advOutX),
                            floorCentredByte(-127.0f * tracker.advOutY), window);
}

}  // namespace hub
