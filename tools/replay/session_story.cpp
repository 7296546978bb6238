#include "session_story.h"

#include <cstdio>
#include <variant>

#include "base/controls.h"
#include "engine/hub.h"
#include "printer.h"

namespace hub::replay {

namespace {

std::string seconds(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(ms) / 1000.0);
    return text;
}

// The dialog's buttons by their command ids, as a user knows them.
std::string buttonName(int id) {
    switch (id) {
        case control::kCancel: return "Cancel (Escape or the close box)";
        case control::kNextLocomotionMode: return "locomotion \"Switch mode\"";
        case control::kNextVjoyMode: return "vJoy \"Switch mode\"";
        case control::kInitialSpeedButton: return "\"Initial spd adj\"";
        case control::kSpeedButton: return "\"spd adj\"";
        case control::kSensitivityButton: return "the vJoy mode's factor button";
        case control::kStartFeeder: return "\"Start vjoy feeder\"";
        default: return "command " + std::to_string(id) + " (no button)";
    }
}

bool labelsButton(int id) {
    return id == control::kInitialSpeedButton || id == control::kSpeedButton || id == control::kSensitivityButton;
}

}  // namespace

void StoryWatcher::started(const ConfigEvent& config, const Hub& hub) {
    hub_ = &hub;
    story_.config = config;
    change(story_.stepdeck, config.deck ? "present" : "not found");
    change(story_.gamepad, config.gamepad ? "present" : "none");
    change(story_.remoteApp, "none");
    change(story_.feeder, "not enabled");
    follow(hub);
}

void StoryWatcher::beginTick(std::uint64_t t, const Hub&) {
    now_ = t;
    story_.ticks.push_back(t);
}

void StoryWatcher::endTick(const Hub& hub) { follow(hub); }

void StoryWatcher::applied(const Event& event, const Hub& hub) {
    if (const auto* command = std::get_if<CommandEvent>(&event)) {
        std::string what = "button " + buttonName(command->id);
        if (labelsButton(command->id) && buttonLabel_) what += ", now " + *buttonLabel_;
        note(Moment::Kind::Button, what);
    } else if (const auto* recv = std::get_if<RecvEvent>(&event)) {
        ++story_.received[endpointText(recv->from)];
    }
    buttonLabel_.reset();
    follow(hub);
}

void StoryWatcher::finished(const Hub&) {
    if (exitStatus_) {
        story_.ending = "a failed send ended the hub at once (exit status " + std::to_string(*exitStatus_) + ")";
    } else if (dialogEnded_ && messageBox_) {
        story_.ending = "the message box \"" + *messageBox_ + "\", then the dialog ended";
    } else if (dialogEnded_) {
        story_.ending = "Escape or the close box (cancel)";
    } else {
        story_.ending = "none in the script: it stops while the hub runs";
    }
    note(Moment::Kind::End, "the end: " + story_.ending);
}

void StoryWatcher::onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    const std::string key = endpointText(to);
    auto [entry, isNew] = story_.sent.try_emplace(key);
    if (isNew) entry->second.role = roleOf(to);
    ++entry->second.datagrams;
    entry->second.bytes += bytes.size();
}

void StoryWatcher::onSendFailed(const Endpoint& to) {
    ++story_.sent[endpointText(to)].failed;
    failedInTick_ = true;
    note(Moment::Kind::Failure, "a send to " + endpointText(to) + " (" + roleOf(to) + ") failed");
}

void StoryWatcher::onText(int id, std::string_view value) {
    if (id == control::kLocomotionModeName) change(story_.locomotion, std::string(value));
    if (id == control::kVjoyModeName) change(story_.vjoy, std::string(value));
    if (labelsButton(id)) buttonLabel_ = std::string(value);
}

void StoryWatcher::onMessageBox(std::string_view text, std::string_view caption) {
    messageBox_ = std::string(text);
    note(Moment::Kind::End, "message box \"" + std::string(text) + "\" (" + std::string(caption) + ")");
}

void StoryWatcher::onLaunch(std::string_view program) {
    note(Moment::Kind::Button, "the feeder started: " + std::string(program));
}

void StoryWatcher::onEndDialog(int) { dialogEnded_ = true; }

void StoryWatcher::onExit(int status) { exitStatus_ = status; }

void StoryWatcher::follow(const Hub& hub) {
    const HubState& state = hub.state;
    followLoss("Stepdeck", state.deckLoss.lost, hub.devices.deck == nullptr, watched_.deckLost, watched_.deckReleased);
    followLoss("gamepad", state.gamepadLoss.lost, hub.devices.gamepad == nullptr, watched_.gamepadLost,
               watched_.gamepadReleased);
    if (story_.config.deck) change(story_.stepdeck, watched_.deckLost ? "lost" : "present");
    if (story_.config.gamepad) change(story_.gamepad, watched_.gamepadLost ? "lost" : "present");

    const bool remoteApp = state.remoteReplies.announced;
    if (remoteApp != watched_.remoteApp) {
        watched_.remoteApp = remoteApp;
        const std::string app = endpointText(state.remote.appEndpoint.load(std::memory_order_relaxed));
        if (remoteApp) {
            appEndpoint_ = app;
            note(Moment::Kind::Peer, "remote app " + app + " connected");
        } else {
            note(Moment::Kind::Peer, "remote app " + appEndpoint_ +
                                         (failedInTick_ ? " dropped after a failed send"
                                                        : " timed out: nothing from it for 10 s"));
        }
        change(story_.remoteApp, remoteApp ? "connected " + app : "none");
    }
    const bool registered = state.remote.registeredPortValid.load();
    const std::uint16_t port = registeredPort(state.remote);
    if (registered != watched_.registered || (registered && port != watched_.registeredPort)) {
        note(Moment::Kind::Peer, registered ? "port " + std::to_string(port) + " registered"
                                            : "the registration of port " + std::to_string(watched_.registeredPort) +
                                                  " lapsed");
        watched_.registered = registered;
        watched_.registeredPort = port;
    }
    const bool feederEnabled = state.remote.feederEnabled.load();
    if (feederEnabled != watched_.feederEnabled) {
        watched_.feederEnabled = feederEnabled;
        note(Moment::Kind::Peer, "the feeder enabled the hub's feeder output");
        change(story_.feeder, "enabled");
    }
    failedInTick_ = false;
}

void StoryWatcher::followLoss(const char* device, bool lost, bool released, bool& wasLost, bool& wasReleased) {
    if (lost && !wasLost) {
        story_.losses.push_back({device, now_.value_or(0), std::nullopt, false});
        note(Moment::Kind::Device, std::string(device) + " lost");
    }
    if (lost && released) wasReleased = true;
    if (!lost && wasLost) {
        Loss& loss = lossOf(device);
        loss.until = now_.value_or(0);
        loss.foundBySearch = wasReleased;
        note(Moment::Kind::Device, std::string(device) + (wasReleased ? " found again by a search" : " read again") +
                                       " after " + seconds(*loss.until - loss.from));
        wasReleased = false;
    }
    wasLost = lost;
}

Loss& StoryWatcher::lossOf(const std::string& device) {
    for (auto loss = story_.losses.rbegin(); loss != story_.losses.rend(); ++loss) {
        if (loss->device == device) return *loss;
    }
    return story_.losses.back();  // never reached: a loss that ends began
}

void StoryWatcher::change(Lane& lane, std::string value) {
    if (!lane.changes.empty() && lane.changes.back().second == value) return;
    lane.changes.emplace_back(now_.value_or(0), std::move(value));
}

void StoryWatcher::note(Moment::Kind kind, std::string what) { story_.moments.push_back({kind, now_, std::move(what)}); }

std::string StoryWatcher::roleOf(const Endpoint& to) const {
    if (to == wire::kStickEndpoint) return "locomotion: stick datagram";
    if (to == wire::kXdrvEndpoint) return "locomotion: XDRV datagram";
    if (to == wire::kFeederEndpoint) return "vJoy feeder";
    const RemoteState& remote = hub_->state.remote;
    if (remote.connected.load() && remote.appEndpoint.load(std::memory_order_relaxed) == to) return "remote app";
    if (to.address == kLoopback && remote.registeredPortValid.load() && registeredPort(remote) == to.port) {
        return "registered port";
    }
    if (to.address == kLoopback && remote.portQueryReplyPort.load() == to.port) return "port query reply";
    return "a peer";
}

}  // namespace hub::replay
