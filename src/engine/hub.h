// The hub's one process-wide state, organised by stage, with the edges it
// reaches the outside world through. The tick and the dialog's handlers all
// work on one Hub.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/advanced_tracker.h"
#include "engine/edges.h"
#include "engine/gamepad.h"
#include "engine/joystick_record.h"
#include "engine/locomotion.h"
#include "engine/stick_pipeline.h"
#include "links/feeder_link.h"
#include "links/locomotion_datagrams.h"
#include "links/remote_link.h"
#include "vjoy/biking.h"
#include "vjoy/flight_sim.h"
#include "vjoy/pedal_brake.h"
#include "vjoy/skate.h"
#include "vjoy/vjoy_stages.h"

namespace hub {

// Written only by the dialog's buttons, read by the tick.
struct DialogState {
    int vjoyMode = 2;
    int locomotionMode = 1;
    int initialSpeedAdjust = 0;
    int speedAdjust = 0;
    int stickSensitivity = 0;
    int bikingScale = 0;
    float bikingScaleFactor = 1.0f;
};

// Values one stage of a tick hands to the later stages of the same tick.
struct TickValues {
    std::uint64_t now = 0;  // tickNow: the clock, read once per tick
    std::uint8_t gamepadButtons = 0;
    float gamepadAxisZ = 0.0f;
    float stickX = 0.0f, stickY = 0.0f;
    int stickXByte = 128, stickYByte = 128;
    std::uint8_t touchMask = 0;
    int touchPairA = 0, touchPairB = 0;
    float locomotionX = 0.0f, locomotionY = 0.0f;  // the XDRV datagram's values
    int headingRFByte = 128, tiltRFByte = 128, headingLFByte = 128, tiltLFByte = 128;
};

struct HubState {
    DialogState dialog;
    bool tablesInitialised = false;
    JoystickRecord deck{};  // the Stepdeck's record of this tick
    TickValues tick;
    Stick1Tracker stick1;
    StickPipelineState stickPipeline;
    StickDatagram stickDatagram;
    FootAxes feet;
    LocomotionState locomotion;
    AdvancedTracker advanced;
    VjoyFrameworkState vjoy;
    PedalState pedal;
    FlightSimState flight;
    BikingState biking;
    SkateState skate;
    FeederState feeder;
    RemoteState remote;
};

// The Stepdeck and the gamepad, once the device set-up has chosen them.
struct Devices {
    InputDevice* deck = nullptr;
    InputDevice* gamepad = nullptr;
    std::string gamepadName;  // UTF-8, as the device reports it
};

struct HubEdges {
    Clock& clock;
    DatagramSocket& socket;
    Window& window;
    Launcher& launcher;
    Process& process;
};

struct Hub {
    explicit Hub(HubEdges hubEdges) : edges(hubEdges) {}
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;

    HubEdges edges;
    Devices devices;
    HubState state;
};

// A send whose failure ends the process at once with status 1.
void sendTested(Hub& hub, const Endpoint& to, std::span<const std::uint8_t> bytes);

// Start-up before the dialog: the three greetings and the stride constant.
void startUp(Hub& hub);

// The input tick: 0, or the negative code of a failed Stepdeck read.
HResult inputTick(Hub& hub);

// The dialog's timer message: runs the tick and ends the dialog on failure.
void onTimer(Hub& hub);

}  // namespace hub
