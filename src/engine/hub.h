// The hub's one process-wide state, composed of every stage's own state,
// with the devices and the edges it reaches the outside world through. Only
// the tick, the dialog's handlers and the session's start and end touch it
// whole; each stage sees only its own part.
#pragma once

#include <cstdint>

#include "base/edges.h"
#include "base/foot_axes.h"
#include "base/stick_rotation.h"
#include "engine/advanced_tracker.h"
#include "engine/device_loss.h"
#include "engine/device_setup.h"
#include "engine/locomotion.h"
#include "engine/stick_pipeline.h"
#include "links/datagram_queue.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"
#include "vjoy/vjoy_modes.h"

namespace hub {

// Written only by the dialog's buttons, read by the tick.
struct DialogState {
    VjoyMode vjoyMode = kFirstVjoyMode;
    LocomotionMode locomotionMode = LocomotionMode::Normal;
    int initialSpeedAdjust = 0;
    int speedAdjust = 0;
    int stickSensitivity = 0;
    int bikingScale = 0;
    float bikingScaleFactor = 1.0f;
};

struct HubState {
    DialogState dialog;
    JoystickRecord deck{};  // the Stepdeck's record of the latest tick that read it
    Stick1Tracker stick1;
    StickPipelineState stickPipeline;
    FootAxes feet;
    LocomotionState locomotion;
    AdvancedTracker advanced;
    VjoyState vjoy;
    FeederState feeder;
    DatagramQueue received;  // the only part the listener thread touches: it fills it, the timer message drains it
    RemoteState remote;
    RemoteReplyState remoteReplies;
    DeviceLoss deckLoss;
    DeviceLoss gamepadLoss;
};

struct HubEdges {
    Clock& clock;
    DatagramSocket& socket;
    Window& window;
    Launcher& launcher;
    Process& process;
};

class SessionRecorder;

struct Hub {
    explicit Hub(HubEdges hubEdges) : edges(hubEdges) {}
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;

    HubEdges edges;
    Devices devices;
    HubState state;
    // Told of the dialog's messages and of the received datagrams as the hub
    // takes them: hub.exe's (idle without -record); none in the replay.
    SessionRecorder* recorder = nullptr;
};

// The period of the dialog's timer, whose every message runs one tick.
inline constexpr std::uint32_t kTickPeriodMs = 33;

// The Acquire calls one tick makes at most on a Stepdeck whose poll failed
// while it reports input lost.
inline constexpr int kMaxReacquiresPerTick = 10;

// The input tick: 0, or the negative code of a failed Stepdeck read.
HResult inputTick(Hub& hub);

// The dialog's timer message: a finished search for a lost device sets up
// what it found, the datagrams the listener queued since the last one take
// effect, in the order they came; then the tick runs, and a failed tick ends
// the dialog.
void onTimer(Hub& hub);

}  // namespace hub
