// Mode 9, "Biking": pedalling cadence as throttle, a resting foot's tilt as steering or brake.
#pragma once

#include <array>
#include <cstdint>

#include "base/edges.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"

namespace hub {

inline constexpr int kStillWindowCount = 3;
inline constexpr int kPedalLevelCount = 30;

// Smallest and largest tilt of one foot in each of the three stillness
// windows. An empty window holds 100 / -100, so it never makes a foot move.
struct TiltWindows {
    static constexpr float kEmptyMin = 100.0f;
    static constexpr float kEmptyMax = -100.0f;
    std::array<float, kStillWindowCount> min{kEmptyMin, kEmptyMin, kEmptyMin};
    std::array<float, kStillWindowCount> max{kEmptyMax, kEmptyMax, kEmptyMax};
};

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct BikingState {
    // Stillness of each foot over the last three windows of just over 100 ms.
    std::uint64_t stillWindowStart = 0;
    int stillSlot = 0;
    TiltWindows windowsLF, windowsRF;
    bool stillLF = false, stillRF = false;
    bool prevStillLF = false, prevStillRF = false;

    // Rest tilts, captured when both feet have just become still.
    bool restCaptured = false;
    float restTiltLF = 0.0f, restTiltRF = 0.0f;
    float offsetRF = 0.0f;  // right tilt from rest while it steers, else 0
    float offsetLF = 0.0f;  // left tilt from rest while it brakes, else 0

    // Outputs; the feeder output limits them before encoding.
    float steering = 0.0f;
    float brake = 0.0f;
    float throttle = 0.0f;

    // Pedal phase 1 waits for left down and right up, phase 2 for the reverse.
    int pedalPhase = 1;
    bool crossDownLF = false, crossUpRF = false;
    bool crossUpLF = false, crossDownRF = false;
    float prevTiltLF = 0.0f, prevTiltRF = 0.0f;

    // Cadence.
    int cycleCount = 0;
    std::uint64_t lastCycleTime = 0;  // 0: no cycle counted yet
    float cyclePeriod = 0.0f;         // seconds; 0: not measured yet
};

struct BikingInputs {
    float tiltLF = 0.0f;
    float tiltRF = 0.0f;
    std::uint64_t now = 0;
    float scaleFactor = 1.0f;  // the dialog's Biking scale
};

// The mode's stage: stillness, steering and brake from the resting feet, the
// cadence from the pedalling ones; it writes controls 1025, 1026 and 1049.
void runBikingStage(BikingState& bike, const BikingInputs& in, Window& window);

// The joystick state datagram: steering, a centred axis, the remote app's two
// axes, no buttons, brake, throttle. The outputs are limited first, and the
// remote app's buttons are cleared.
FeederDatagram bikingDatagram(BikingState& bike, RemoteInputs& remote);

}  // namespace hub
