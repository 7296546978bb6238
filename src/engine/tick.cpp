// The input tick: one pass of stages, in this order, every 33 ms. Each stage
// is handed the part of the state it owns and the values earlier stages of
// the same tick produced; what a stage reads of the previous tick says so.
#include "base/controls.h"
#include "base/text_format.h"
#include "engine/at_rest.h"
#include "engine/gamepad.h"
#include "engine/hub.h"
#include "engine/session_recorder.h"
#include "links/peer_datagrams.h"

namespace hub {

namespace {

// Polls and reads the Stepdeck. A failed poll re-acquires it (a bounded
// number of times while it reports input lost) and the Stepdeck is lost for
// the rest of the tick, as is one released after a loss until a search finds
// it again; a failed read ends the tick with the read's code.
enum class DeckRead { Ready, Lost, Failed };

DeckRead readDeck(InputDevice* deck, JoystickRecord& record, HResult& failure) {
    if (deck == nullptr) return DeckRead::Lost;
    if (failed(deck->poll())) {
        for (int attempt = 0; attempt < kMaxReacquiresPerTick && deck->acquire() == kInputLost; ++attempt) {
        }
        return DeckRead::Lost;
    }
    failure = deck->getState(record);
    return failed(failure) ? DeckRead::Failed : DeckRead::Ready;
}

// A gamepad that was set up and could not be read is lost, as is one
// released after a loss until a search finds it again.
void followGamepadLoss(DeviceLoss& loss, const InputDevice* gamepad, const GamepadReading& reading) {
    if (gamepad != nullptr || loss.lost) noteRead(loss, reading.read);
}

// The searches for lost devices, each at its own pace. The tick only starts
// them: it never waits for an enumeration.
void searchLostDevices(Hub& hub, std::uint64_t now) {
    if (hub.devices.search == nullptr) return;  // never set up: nothing to search with
    if (searchDue(hub.state.deckLoss, now)) startSearch(hub.devices, DeviceRole::Stepdeck);
    if (searchDue(hub.state.gamepadLoss, now)) startSearch(hub.devices, DeviceRole::Gamepad);
}

// The tick's time stamp, also handed to the listener for its stamps.
std::uint64_t readClock(Clock& clock, RemoteState& remote) {
    const std::uint64_t now = clock.nowMs();
    remote.latestTickNow.store(now);
    return now;
}

AdvancedInputs advancedInputs(std::uint64_t now, const TouchButtons& touch, const FootAxes& previousFeet,
                              const DialogState& dialog) {
    return {now,
            touch.pairA,
            touch.pairB,
            previousFeet.tiltRF,
            previousFeet.tiltLF,
            advancedEngageFactor(dialog.initialSpeedAdjust),
            advancedSpeedFactor(dialog.speedAdjust)};
}

VjoyInputs vjoyInputs(std::uint64_t now, const TouchButtons& touch, const FootAxes& feet,
                      const LocomotionPosition& stick, const Hub& hub, const GamepadReading& pad) {
    return {now,
            touch.pairA,
            touch.pairB,
            feet,
            stick.xByte,
            stick.yByte,
            hub.devices.gamepad != nullptr,
            pad.buttons,
            pad.axisZ,
            &hub.state.stick1,
            hub.state.dialog.stickSensitivity,
            hub.state.dialog.bikingScaleFactor};
}

void runStage(void (*stage)(VjoyContext&), VjoyContext& context) {
    if (stage != nullptr) stage(context);
}

void showThrottleAndBrake(const VjoyState& vjoy, Window& window) {
    showFixed(window, control::kThrottleValue, vjoy.throttle);
    showFixed(window, control::kBrakeValue, vjoy.brake);
}

// Rewritten only when the mode changed since the last write.
void showVjoyModeLabel(VjoyState& vjoy, const VjoyModeRow& mode, Window& window) {
    if (mode.mode == vjoy.shownMode) return;
    vjoy.shownMode = mode.mode;
    window.setText(control::kVjoyModeName, mode.label);
    if (mode.countsCycles) {
        window.setText(control::kSteeringCaption, caption::kCycle);
        showLong(window, control::kSteeringValue, 0);  // until the next counted cycle
    } else {
        window.setText(control::kSteeringCaption, caption::kSteering);
    }
}

// The mode's datagram to the feeder, only while the feeder is enabled.
void sendFeederOutput(const VjoyModeRow& mode, VjoyContext& context, FeederState& feeder, const RemoteState& remote,
                      const HubEdges& edges) {
    if (!remote.feederEnabled.load()) return;
    const auto datagram = mode.feederDatagram(context);
    if (datagram && sendPerModeDatagram(feeder, *datagram, context.in.now, edges.socket, edges.process)) {
        context.state.fedMode = mode.mode;
    }
}

StatusValues statusValues(const LocomotionPosition& stick, const FootBytes& feet, const TouchButtons& touch) {
    return {stick.xByte, stick.yByte, feet.headingRF, feet.tiltRF, feet.headingLF, feet.tiltLF, touch.mask};
}

// Each datagram takes effect between two ticks, never inside one: at this
// one point a recording can place it exactly, and the replay applies it
// there, before the tick's line.
void applyReceivedDatagrams(DatagramQueue& received, RemoteState& remote, SessionRecorder* recorder) {
    received.drain([&](std::span<const std::uint8_t> bytes, const Endpoint& from) {
        if (recorder != nullptr) recorder->received(from, bytes);
        applyRemoteDatagram(remote, bytes.data(), bytes.size(), from);
    });
}

// A finished search takes effect between two ticks, as a datagram does: the
// device it found is set up here and read by the tick that follows. One still
// running leaves the device lost for this tick.
void takeFinishedSearch(Hub& hub, DeviceLoss& loss, DeviceRole role) {
    if (!loss.searching) return;
    const std::optional<SearchOutcome> outcome = hub.devices.search->takeFinished(role);
    if (!outcome) return;
    loss.searching = false;
    takeSearchOutcome(hub.devices, role, *outcome, hub.edges.window);
}

}  // namespace

HResult inputTick(Hub& hub) {
    HubState& state = hub.state;
    if (hub.devices.deck == nullptr && !state.deckLoss.lost) return kOk;  // none was found at start
    const DialogState& dialog = state.dialog;
    Window& window = hub.edges.window;
    DatagramSocket& socket = hub.edges.socket;

    const GamepadReading pad = readGamepad(hub.devices.gamepad, state.stick1);
    followGamepadLoss(state.gamepadLoss, hub.devices.gamepad, pad);
    JoystickRecord& deck = state.deck;
    HResult failure = kOk;
    const DeckRead deckRead = readDeck(hub.devices.deck, deck, failure);
    if (deckRead == DeckRead::Failed) return failure;
    if (deckRead == DeckRead::Lost) {
        // The clock only times the feeder's release and the search: the
        // listener's stamps stay those of the latest tick that read the Stepdeck.
        const std::uint64_t lostAt = hub.edges.clock.nowMs();
        followStepdeckLost(hub, lostAt);
        searchLostDevices(hub, lostAt);
        return kOk;
    }
    followStepdeckRead(hub);

    // Locomotion: the stick, possibly replaced by a mode, goes out first.
    const LocomotionPosition stick = runStickPipeline(state.stickPipeline, deck, dialog.initialSpeedAdjust, window);
    const TouchButtons touch = readTouchButtons(deck, window);
    LocomotionPosition locomotion = stick;
    shapeSeatedModes(locomotion, dialog.locomotionMode, state.feet /* the previous tick's */, touch, window);
    const std::uint64_t now = readClock(hub.edges.clock, state.remote);
    if (dialog.locomotionMode == LocomotionMode::Advanced) {
        runAdvancedTracker(state.advanced, advancedInputs(now, touch, state.feet /* the previous tick's */, dialog),
                           locomotion, window);
    }
    sendLocomotionDatagrams(socket, locomotion);

    // The feet, and the raw displays.
    FootBytes footBytes;
    updateRightFoot(state.feet, footBytes, deck, window);
    updatePedal(state.vjoy.pedal, state.feet.tiltRF, state.feet.tiltLF);  // this tick's right, the previous left
    updateLeftFoot(state.feet, footBytes, deck, window);
    showRawInputs(deck, window);
    showRemoteInputs(state.remote.inputs, window);

    // The vJoy stages, the replies to the peers and the feeder datagram.
    const VjoyModeRow& mode = vjoyModeRow(dialog.vjoyMode);
    const VjoyInputs vjoyIn = vjoyInputs(now, touch, state.feet, stick, hub, pad);
    VjoyContext vjoy{state.vjoy, vjoyIn, state.remote.inputs, window};
    runStage(mode.modeStage, vjoy);
    if (!mode.countsCycles) showThrottleAndBrake(state.vjoy, window);
    showLocomotionModeLabel(state.locomotion, dialog.locomotionMode, window);
    showVjoyModeLabel(state.vjoy, mode, window);
    serveRegistration(state.remote, state.remoteReplies, now, socket);
    answerPortQuery(state.remote, socket);
    acknowledgeFeeder(state.feeder, state.remote.feederEnabled.load(), socket, hub.edges.process);
    runStage(mode.lateStage, vjoy);
    sendFeederOutput(mode, vjoy, state.feeder, state.remote, hub.edges);  // Skate advances here
    serveRemoteApp(state.remote, state.remoteReplies, statusValues(stick, footBytes, touch), now, socket, window);
    searchLostDevices(hub, now);
    return kOk;
}

void onTimer(Hub& hub) {
    if (hub.recorder != nullptr) hub.recorder->tickStarted();
    takeFinishedSearch(hub, hub.state.deckLoss, DeviceRole::Stepdeck);
    takeFinishedSearch(hub, hub.state.gamepadLoss, DeviceRole::Gamepad);
    applyReceivedDatagrams(hub.state.received, hub.state.remote, hub.recorder);
    const HResult result = inputTick(hub);
    // Before the message box below, whose own message loop may run commands.
    if (hub.recorder != nullptr) hub.recorder->tickEnded();
    if (!failed(result)) return;
    bringToRestAtEnd(hub);
    sendStopDatagram(hub.edges.socket);
    hub.edges.window.stopTimer();
    hub.edges.window.messageBox("Error Reading Input State. The app will now exit.", "VR Stepdeck Monitor");
    hub.edges.window.endDialog(1);
}

}  // namespace hub
