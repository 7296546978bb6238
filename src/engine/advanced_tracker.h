// The "Advanced" step tracker: tilting one foot engages a direction, then
// alternating releases of the two touch pairs set the walking speed, and
// standing level on both pairs (or on all four buttons) stops the motion.
#pragma once

#include <cstdint>

#include "base/edges.h"
#include "links/locomotion_datagrams.h"

namespace hub {

// Directions of motion: which foot was tilted which way to engage.
inline constexpr int kStanding = 0;
inline constexpr int kRightPositive = 1;
inline constexpr int kRightNegative = 2;
inline constexpr int kLeftNegative = 3;
inline constexpr int kLeftPositive = 4;

// Step phases while moving.
inline constexpr int kPhaseEngaged = -1;  // no alternating step yet
inline constexpr int kPhaseStop = 0;
inline constexpr int kPhaseWalking = 1;
inline constexpr int kPhaseFlight = 2;  // stepping with both pairs free in between

// The tracker's whole state. It lives for the whole process: switching to
// another locomotion mode freezes it, switching back resumes from it.
// Times are tick clock values in milliseconds.
struct AdvancedTracker {
    std::uint64_t advLastUpdate = 0;
    int advDirection = kStanding;
    int advLastDirection = kStanding;  // the direction when the last motion stopped
    int stepPhase = kPhaseStop;

    // Standing: a single-foot tilt held long enough, or a clear tilt after a
    // level stance, engages.
    int tiltCandidate = 0;  // 1 right <= 0, 2 right > 0, 3 left > 0, 4 left <= 0
    int tiltCandidateLast = 0;
    std::uint64_t tiltCandidateSince = 0;
    int tiltPatternLast = 0;  // 0 level, 1 left tilted, 2 right tilted, 3 a pair free
    std::uint64_t tiltPatternSince = 0;
    int tiltPatternStable = 0;
    std::uint64_t tiltPatternStableSince = 0;

    // Moving: the lift state (2 when pair A is free, + 1 when pair B is) and
    // its accepted value, which changes once a state has lasted over 30 ms.
    int liftStateLast = 0;
    std::uint64_t liftStateSince = 0;
    int liftStable = 0;
    int liftStablePrev = 0;
    std::uint64_t liftStableSince = 0;
    bool releaseSeen = false;  // a pair has been free since the engage
    bool stepCounting = false;  // a first single release has been counted
    int lastLift = 0;           // lift state of the last counted single release
    bool flightSeen = false;    // both pairs free over 150 ms since then

    float stepPeriod = -1.0f;  // seconds; -1 until known
    float liftReference = 0.0f;  // step period when the current single release began
    float liftDuration = 0.0f;   // seconds of the current or last single release
    float strideConstant = 0.0f;  // 4.8 from start-up on

    float advSpeed = 0.0f;  // target speed
    float advSpeedSlow = 0.0f;
    float advBoost = 0.0f;  // output multiplier: 0 until first computed, then never below 1
    float advSpeedRef = 0.0f;  // spike filter: last accepted target speed
    float advSpikeCount = 0.0f;
    float advSpeedSmooth = 0.0f;
    float advShaped = 0.0f;  // advSpeedSmooth after the shaping curve
    float advOutX = 0.0f;
    float advOutY = 0.0f;
};

// What one update reads.
struct AdvancedInputs {
    std::uint64_t tickNow = 0;
    int touchPairA = 0;
    int touchPairB = 0;
    float tiltRF = 0.0f;  // the previous tick's foot tilts
    float tiltLF = 0.0f;
    float engageFactor = 1.0f;  // A: scales the speed taken from the tilt
    float speedFactor = 1.0f;   // B: scales the speed taken from the step period
};

// Engage factor A of an initial speed adjustment index (0 ... 6) and speed
// factor B of a speed adjustment index (0 ... 5).
float advancedEngageFactor(int initialSpeedAdjust);
float advancedSpeedFactor(int speedAdjust);

// The shaping curve of the smoothed speed, in double precision: 0.6 a below
// 0.5, then a - 0.2 up to 0.8, then 2 a - 1; odd in its argument.
double shapeAdvancedSpeed(double speed);

// One update, at most every 16 ms; a closer tick leaves the outputs as they are.
void updateAdvancedTracker(AdvancedTracker& tracker, const AdvancedInputs& in);

// Tick stage, in the locomotion mode "Advanced" only: updates the tracker and
// puts its outputs into the locomotion datagrams and controls 1047/1048.
void runAdvancedTracker(AdvancedTracker& tracker, const AdvancedInputs& in, LocomotionPosition& position,
                        Window& window);

}  // namespace hub
