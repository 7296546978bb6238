#include "vjoy/biking.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "base/controls.h"
#include "base/text_format.h"

namespace hub {

namespace {

constexpr std::uint64_t kStillWindowMs = 100;
constexpr float kStillSpan = 2.0f;  // a foot moving less than this is still

constexpr float kDeadZone = 5.0f;
constexpr float kSteerRightOffset = 4.0f;
constexpr float kSteerRightSlope = 0.05f;
constexpr float kSteerLeftSlope = 0.033333335f;
constexpr float kSteerLeftOffset = 0.13333334f;
constexpr float kBrakeOffset = -0.16f;
constexpr float kBrakeSlope = 0.04f;

// The tilt levels a pedalling foot must pass: -60, -56, ..., 56.
constexpr std::array<float, kPedalLevelCount> kPedalLevels = [] {
    std::array<float, kPedalLevelCount> levels{};
    for (int i = 0; i < kPedalLevelCount; ++i) levels[i] = -60.0f + 4.0f * static_cast<float>(i);
    return levels;
}();

constexpr float kCycleGapSeconds = 5.0f;  // a longer pause restarts the cadence
constexpr float kFirstCyclePeriod = 1.5f;
constexpr double kCycleSmoothing = 0.3;
constexpr float kCadenceScale = 5.0f;
constexpr float kThrottleKnee = 3.5f;
constexpr float kThrottleSlope = 0.25f;

// The span of one foot's tilt over the three windows; empty windows count as
// 100 / -100, so three empty windows give -200.
float tiltSpan(const TiltWindows& windows) {
    const float highest = std::max(*std::max_element(windows.max.begin(), windows.max.end()),
                                   TiltWindows::kEmptyMax);
    const float lowest = std::min(*std::min_element(windows.min.begin(), windows.min.end()),
                                  TiltWindows::kEmptyMin);
    return highest - lowest;
}

void emptySlot(TiltWindows& windows, int slot) {
    windows.min[slot] = TiltWindows::kEmptyMin;
    windows.max[slot] = TiltWindows::kEmptyMax;
}

void recordTilt(TiltWindows& windows, int slot, float tilt) {
    if (tilt < windows.min[slot]) windows.min[slot] = tilt;
    if (tilt > windows.max[slot]) windows.max[slot] = tilt;
}

// At the first tick after 100 ms a window ends; the flags are taken
// over all three windows and the next slot starts empty.
void closeStillWindow(BikingState& bike, std::uint64_t now) {
    if (now - bike.stillWindowStart <= kStillWindowMs) return;
    bike.stillWindowStart = now;
    bike.stillSlot = (bike.stillSlot + 1) % kStillWindowCount;
    bike.stillLF = tiltSpan(bike.windowsLF) < kStillSpan;
    bike.stillRF = tiltSpan(bike.windowsRF) < kStillSpan;
    emptySlot(bike.windowsLF, bike.stillSlot);
    emptySlot(bike.windowsRF, bike.stillSlot);
}

float steeringFor(float offsetRF) {
    if (offsetRF >= 0.0f) return (offsetRF - kSteerRightOffset) * kSteerRightSlope;
    return offsetRF * kSteerLeftSlope + kSteerLeftOffset;
}

// The right foot steers while the left one rests and does not brake.
void steer(BikingState& bike, float tiltRF, Window& window) {
    bike.offsetRF = tiltRF - bike.restTiltRF;
    if (std::fabs(bike.offsetRF) < kDeadZone) {
        bike.offsetRF = 0.0f;
        bike.steering = 0.0f;
    } else {
        bike.steering = steeringFor(bike.offsetRF);
    }
    showFixed(window, control::kSteeringValue, bike.steering);
    window.setText(control::kSteeringCaption, caption::kSteering);
}

// The left foot brakes, tilted back, while the right one rests and
// does not steer.
void brake(BikingState& bike, float tiltLF, Window& window) {
    bike.offsetLF = tiltLF - bike.restTiltLF;
    if (bike.offsetLF > -kDeadZone) {
        bike.offsetLF = 0.0f;
        bike.brake = 0.0f;
    } else {
        bike.brake = kBrakeOffset - bike.offsetLF * kBrakeSlope;
    }
    showFixed(window, control::kBrakeValue, bike.brake);
}

bool passesLevelDownwards(float from, float to) {
    return std::any_of(kPedalLevels.begin(), kPedalLevels.end(), [&](float level) { return from > level && level > to; });
}

bool passesLevelUpwards(float from, float to) {
    return std::any_of(kPedalLevels.begin(), kPedalLevels.end(), [&](float level) { return from < level && level < to; });
}

// The smoothed cycle period becomes the throttle; the first cycle only
// records its time, and a pause of 5 s or more starts the period over.
void updateCadence(BikingState& bike, std::uint64_t now, float scaleFactor, Window& window) {
    if (bike.lastCycleTime != 0) {
        const float elapsed = static_cast<float>(now - bike.lastCycleTime) * 0.001f;
        if (elapsed >= kCycleGapSeconds) {
            bike.cyclePeriod = 0.0f;
        } else {
            if (bike.cyclePeriod == 0.0f) {
                bike.cyclePeriod = kFirstCyclePeriod;
            } else {
                const float difference = elapsed - bike.cyclePeriod;
                bike.cyclePeriod = static_cast<float>(static_cast<double>(bike.cyclePeriod) +
                                                      kCycleSmoothing * static_cast<double>(difference));
            }
            const float rate = scaleFactor * kCadenceScale / bike.cyclePeriod;
            bike.throttle = rate >= kThrottleKnee ? (rate - kThrottleKnee) * kThrottleSlope : 0.0f;
            showFixed(window, control::kThrottleValue, bike.throttle);
        }
    }
    bike.lastCycleTime = now;
}

// A cycle counts when the left tilt has passed a level
// downwards and the right one upwards; then the reverse re-arms the count.
void followPedals(BikingState& bike, float tiltLF, float tiltRF, std::uint64_t now,
                  float scaleFactor, Window& window) {
    if (bike.pedalPhase == 1) {
        bike.crossDownLF = bike.crossDownLF || passesLevelDownwards(bike.prevTiltLF, tiltLF);
        bike.crossUpRF = bike.crossUpRF || passesLevelUpwards(bike.prevTiltRF, tiltRF);
        if (!(bike.crossDownLF && bike.crossUpRF)) return;
        bike.pedalPhase = 2;
        bike.crossUpLF = false;
        bike.crossDownRF = false;
        ++bike.cycleCount;
        showLong(window, control::kSteeringValue, bike.cycleCount);
        window.setText(control::kSteeringCaption, caption::kCycle);
        updateCadence(bike, now, scaleFactor, window);
    }
    bike.crossUpLF = bike.crossUpLF || passesLevelUpwards(bike.prevTiltLF, tiltLF);
    bike.crossDownRF = bike.crossDownRF || passesLevelDownwards(bike.prevTiltRF, tiltRF);
    if (bike.crossUpLF && bike.crossDownRF) {
        bike.pedalPhase = 1;
        bike.crossDownLF = false;
        bike.crossUpRF = false;
    }
}

}  // namespace

void runBikingStage(BikingState& bike, const BikingInputs& in, Window& window) {
    const float tiltLF = in.tiltLF;
    const float tiltRF = in.tiltRF;
    const std::uint64_t now = in.now;

    closeStillWindow(bike, now);

    const bool bothStill = bike.stillLF && bike.stillRF;
    const bool justBecameStill = !bike.prevStillLF || !bike.prevStillRF;
    if (bothStill && justBecameStill && bike.offsetRF == 0.0f && bike.offsetLF == 0.0f) {
        bike.restCaptured = true;
        bike.restTiltLF = tiltLF;
        bike.restTiltRF = tiltRF;
    }
    bike.prevStillLF = bike.stillLF;
    bike.prevStillRF = bike.stillRF;

    if (!bike.stillRF) {
        bike.offsetLF = 0.0f;
        bike.brake = 0.0f;
        showFixed(window, control::kBrakeValue, bike.brake);
    }
    if (!bike.stillLF) {
        bike.offsetRF = 0.0f;
        bike.steering = 0.0f;
        showFixed(window, control::kSteeringValue, bike.steering);
    }
    if (!bike.stillLF && !bike.stillRF) {
        bike.restCaptured = false;
    } else {
        if (bike.stillLF && bike.offsetLF == 0.0f && bike.restCaptured) steer(bike, tiltRF, window);
        if (bike.stillRF && bike.offsetRF == 0.0f) brake(bike, tiltLF, window);
    }

    recordTilt(bike.windowsLF, bike.stillSlot, tiltLF);
    recordTilt(bike.windowsRF, bike.stillSlot, tiltRF);

    followPedals(bike, tiltLF, tiltRF, now, in.scaleFactor, window);

    if (bike.stillLF) bike.throttle = 0.0f;  // the display keeps the last cadence value
    bike.prevTiltLF = tiltLF;
    bike.prevTiltRF = tiltRF;
}

FeederDatagram bikingDatagram(BikingState& bike, RemoteInputs& remote) {
    bike.throttle = std::min(bike.throttle, 1.0f);
    bike.brake = std::min(bike.brake, 1.0f);
    bike.steering = std::clamp(bike.steering, -1.0f, 1.0f);

    const std::array<std::uint8_t, wire::kJoystickStateLength> datagram{
        wire::kJoystickStateTag, centredByte(bike.steering), wire::kCentredByte, remote.axis3.load(),
        remote.axis4.load(),     0x00,                       unitByte(bike.brake), unitByte(bike.throttle)};
    remote.buttons.store(0);
    return underChangeRule(datagram, kNoExactByte);
}

}  // namespace hub
