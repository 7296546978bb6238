// The vJoy modes: one row each, in the order the mode button steps through
// them. A row names the mode and says what the dialog shows for it, which
// stages it runs in the tick and which datagram it sends the feeder. The
// dialog, the tick, the feeder output and the peer tool's decoder all read
// this table; a new mode is a unit of its own, its state below and its row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/edges.h"
#include "base/foot_axes.h"
#include "base/stick_rotation.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"
#include "links/wire.h"
#include "vjoy/biking.h"
#include "vjoy/flight_sim.h"
#include "vjoy/pedal_brake.h"
#include "vjoy/skate.h"

namespace hub {

// The mode ids are what the dialog's state holds and the peer tool names.
enum class VjoyMode : int {
    None = 0,  // no mode shown yet
    FourWay = 2,
    Skate = 5,
    PedalBrake = 6,
    FlightSim = 7,
    Biking = 9,
};

// What the vJoy stages read of the stages before them in the same tick.
struct VjoyInputs {
    std::uint64_t now = 0;
    int touchPairA = 0, touchPairB = 0;
    FootAxes feet;
    std::uint8_t stickXByte = 128, stickYByte = 128;
    bool hasGamepad = false;
    std::uint8_t gamepadButtons = 0;
    float gamepadAxisZ = 0.0f;
    const Stick1Tracker* stick1 = nullptr;
    int stickSensitivity = 0;
    float bikingScaleFactor = 1.0f;
};

// What the vJoy modes keep: the throttle and brake they share, the mode whose
// labels show, and each mode's own state. It lives for the whole process;
// no mode's state is reset when the mode changes.
struct VjoyState {
    float throttle = 0.0f;  // shown in control 1025
    float brake = 0.0f;     // shown in control 1026
    VjoyMode shownMode = VjoyMode::None;
    VjoyMode fedMode = VjoyMode::None;  // the mode that built the feeder's last per-mode datagram
    PedalState pedal;
    FlightSimState flight;
    BikingState biking;
    SkateState skate;
};

// What a mode's stages may touch in one tick.
struct VjoyContext {
    VjoyState& state;
    const VjoyInputs& in;
    RemoteInputs& remote;  // shared with the listener thread
    Window& window;
};

// What the dialog's sensitivity button (1051) steps in a mode.
enum class SensitivityButton { Inactive, StickSensitivity, BikingScale };

struct VjoyModeRow {
    VjoyMode mode;
    std::string_view label;             // control 1027
    std::string_view sensitivityLabel;  // entering the mode resets the sensitivity and labels its button; empty: neither
    SensitivityButton sensitivityButton;
    bool countsCycles;                  // control 1050 says "Cycle:", and the mode writes 1025 and 1026 itself
    void (*modeStage)(VjoyContext&);    // before the displays; null: none
    void (*lateStage)(VjoyContext&);    // after the replies to the peers; null: none
    std::optional<FeederDatagram> (*feederDatagram)(VjoyContext&);  // built only while the feeder is enabled
    const wire::JoystickStateLayout* layout;                         // null: the 4-way datagram
    std::span<const wire::RestByte> restBytes;                       // the datagram's bytes that come from the Stepdeck
    void (*fedAtRest)(VjoyState&);  // the feeder got them at rest: what the mode keeps of its last datagram follows; null: nothing
};

inline constexpr VjoyMode kFirstVjoyMode = VjoyMode::FourWay;

std::span<const VjoyModeRow> vjoyModes();
// The row of a mode; the first mode's for VjoyMode::None.
const VjoyModeRow& vjoyModeRow(VjoyMode mode);
// The mode with this id, if there is one.
std::optional<VjoyMode> vjoyModeWithId(int id);
// The mode after this one on the mode button; after the last comes the first.
VjoyMode nextVjoyMode(VjoyMode mode);

}  // namespace hub
