#include "engine/session_recorder.h"

#include <cstdlib>
#include <string>

#include "engine/hub.h"

namespace hub {

static_assert(kMaxRecordedAcquires >= std::size_t{kMaxReacquiresPerTick}, "a tick's line holds every acquire it makes");

void SessionRecorder::start(RecordingWriter& writer) { writer_ = &writer; }

void SessionRecorder::setUpFinished(const Hub& hub, HResult setUpResult, bool filterXInputDevices) {
    if (writer_ == nullptr || configWritten_) return;
    RecordedConfig config;
    config.deck = hub.devices.deck != nullptr;
    config.deckObjects = deckObjects_;
    config.gamepad = hub.devices.gamepad != nullptr;
    config.gamepadName = hub.devices.gamepadName;
    config.programPath = std::string(hub.edges.launcher.programPath());
    config.setupFailure = failed(setUpResult) ? setUpResult : kOk;
    config.noxinput = filterXInputDevices;
    writer_->append(encodeConfig(config));
    configWritten_ = true;
    attached_ = {config.deck, config.gamepad, kOk, kOk};
}

void SessionRecorder::activated(bool active) {
    if (!writing()) return;
    line_.clear();
    encodeActivate(active, line_);
    write(line_);
}

void SessionRecorder::commanded(int commandId) {
    if (!writing()) return;
    command_.emplace().id = commandId;
    sendsInCommand_ = 0;
}

void SessionRecorder::commandHandled() { writeCommand(); }

void SessionRecorder::writeCommand() {
    if (!command_) return;
    line_.clear();
    encodeCommand(*command_, line_);
    command_.reset();
    write(line_);
}

void SessionRecorder::devicesChanged() {
    if (!writing()) return;
    line_.clear();
    encodeDevicesChanged(line_);
    write(line_);
}

void SessionRecorder::tickStarted() {
    if (!writing()) return;
    inTick_ = true;
    sendsInTick_ = 0;
    searches_ = {};
    tick_ = RecordedTick{};
    tick_.t = latestClock_;  // a tick whose poll fails reads no clock
}

void SessionRecorder::received(const Endpoint& from, std::span<const std::uint8_t> bytes) {
    if (!writing()) return;
    line_.clear();
    encodeRecv(from, bytes, line_);
    write(line_);
}

void SessionRecorder::tickEnded() {
    if (!inTick_) return;
    inTick_ = false;
    writeAttachedChanges();
    line_.clear();
    encodeTick(tick_, line_);
    write(line_);
}

void SessionRecorder::processEnding() {
    if (writer_ == nullptr) return;
    tickEnded();
    writeCommand();
    writer_->close();
}

// Only the set-up's objects: the replay sets up a Stepdeck found again with
// the config's.
void SessionRecorder::deckObjectHandled(ObjectType type) {
    if (writer_ != nullptr && !configWritten_) deckObjects_.push_back(type);
}

void SessionRecorder::clockRead(std::uint64_t now) {
    latestClock_ = now;
    if (inTick_) tick_.t = now;
}

void SessionRecorder::polled(DeviceRole role, HResult result) {
    if (!inTick_) return;
    (role == DeviceRole::Stepdeck ? tick_.deckPoll : tick_.padPoll) = result;
}

// Only the tick's own acquires count: those of an activation return nothing
// the hub looks at.
void SessionRecorder::acquired(DeviceRole role, HResult result) {
    if (!inTick_ || role != DeviceRole::Stepdeck || tick_.deckAcquireCount == kMaxRecordedAcquires) return;
    tick_.deckAcquire[tick_.deckAcquireCount++] = result;
}

void SessionRecorder::read(DeviceRole role, HResult result, const JoystickRecord& record) {
    if (!inTick_) return;
    const bool deck = role == DeviceRole::Stepdeck;
    (deck ? tick_.deckRead : tick_.padRead) = result;
    if (!failed(result)) (deck ? tick_.deck : tick_.pad) = record;
}

// The sends of a tick and of a command are numbered each from 0. Those of
// neither (the greetings, the sends after a failed tick) are not written
// down: the replay makes each of them succeed, and the hub ignores them.
void SessionRecorder::sent(bool succeeded) {
    const auto note = [succeeded](std::uint32_t number, auto& failures, std::size_t& count) {
        if (!succeeded && count < failures.size()) failures[count++] = number;
    };
    if (inTick_) {
        note(sendsInTick_++, tick_.sendFailed, tick_.sendFailedCount);
    } else if (command_) {
        note(sendsInCommand_++, command_->sendFailed, command_->sendFailedCount);
    }
}

void SessionRecorder::stillSearching(DeviceRole role) {
    if (!inTick_) return;
    (role == DeviceRole::Stepdeck ? tick_.deckSearching : tick_.padSearching) = true;
}

void SessionRecorder::enumerated(DeviceRole role, HResult result) {
    if (!inTick_) return;
    search(role).searched = true;
    search(role).enumerate = result;
}

void SessionRecorder::created(DeviceRole role, HResult result) {
    if (inTick_ && !failed(result)) search(role).chosen = true;
}

void SessionRecorder::configured(DeviceRole role, HResult result) {
    if (inTick_ && failed(result) && !failed(search(role).configure)) search(role).configure = result;
}

// The replay's attached controllers, changed so that its search finds what
// the search that finished at this timer message found; the line goes before
// the tick's. A search that
// found a device it could not configure: a Stepdeck whose data format fails,
// a gamepad not attached.
void SessionRecorder::writeAttachedChanges() {
    Attached now = attached_;
    for (const DeviceRole role : {DeviceRole::Stepdeck, DeviceRole::Gamepad}) {
        const Search& seen = search(role);
        if (!seen.searched) continue;
        now.enumerate = seen.enumerate;
        if (failed(seen.enumerate)) continue;
        if (role == DeviceRole::Gamepad) {
            now.gamepad = seen.chosen && !failed(seen.configure);
            continue;
        }
        now.deck = seen.chosen;
        if (seen.chosen) now.deckFormat = seen.configure;
    }
    RecordedAttached change;
    if (now.deck != attached_.deck) change.deck = now.deck;
    if (now.gamepad != attached_.gamepad) change.gamepad = now.gamepad;
    if (now.enumerate != attached_.enumerate) change.enumerate = now.enumerate;
    if (now.deckFormat != attached_.deckFormat) change.deckFormat = now.deckFormat;
    attached_ = now;
    if (!change.deck && !change.gamepad && !change.enumerate && !change.deckFormat) return;
    line_.clear();
    encodeAttached(change, line_);
    write(line_);
}

// Every line fits by construction (see EventLine); one cut short would be
// invalid JSON, so it would be left out rather than written.
void SessionRecorder::write(const EventLine& line) {
    if (!line.overflowed()) writer_->append(line.text());
}

HResult RecordingDevice::poll() {
    const HResult result = real_.poll();
    recorder_.polled(role_, result);
    return result;
}

HResult RecordingDevice::acquire() {
    const HResult result = real_.acquire();
    recorder_.acquired(role_, result);
    return result;
}

HResult RecordingDevice::getState(JoystickRecord& out) {
    const HResult result = real_.getState(out);
    recorder_.read(role_, result, out);
    return result;
}

std::uint64_t RecordingClock::nowMs() {
    const std::uint64_t now = real_.nowMs();
    recorder_.clockRead(now);
    return now;
}

bool RecordingSocket::sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    const bool succeeded = real_.sendTo(to, bytes);
    recorder_.sent(succeeded);
    return succeeded;
}

void RecordingProcess::exitNow(int status) {
    recorder_.processEnding();
    real_.exitNow(status);
    std::abort();  // not reached: the real process has ended
}

std::optional<SearchOutcome> RecordingDeviceSearch::takeFinished(DeviceRole role) {
    std::optional<SearchOutcome> outcome = real_.takeFinished(role);
    if (outcome) {
        recorder_.enumerated(role, outcome->enumerate);
    } else {
        recorder_.stillSearching(role);
    }
    return outcome;
}

HResult RecordingDevicePlatform::createDevice(DeviceRole role, const Guid& instance) {
    const HResult result = real_.createDevice(role, instance);
    recorder_.created(role, result);
    return result;
}

HResult RecordingDevicePlatform::setJoystickFormat(DeviceRole role) {
    const HResult result = real_.setJoystickFormat(role);
    recorder_.configured(role, result);
    return result;
}

HResult RecordingDevicePlatform::setCooperativeLevel(DeviceRole role, std::uint32_t flags) {
    const HResult result = real_.setCooperativeLevel(role, flags);
    recorder_.configured(role, result);
    return result;
}

HResult RecordingDevicePlatform::enumerateObjects(DeviceRole role, const ObjectHandler& handle) {
    const HResult result = role != DeviceRole::Stepdeck
                               ? real_.enumerateObjects(role, handle)
                               : real_.enumerateObjects(role, [&](const DeviceObject& object) {
                                     const Enumeration next = handle(object);
                                     // An object that stops the set-up (its range could not be
                                     // set) has enabled nothing: the replay stops before it.
                                     if (next == Enumeration::Continue) recorder_.deckObjectHandled(object.type);
                                     return next;
                                 });
    recorder_.configured(role, result);
    return result;
}

InputDevice* RecordingDevicePlatform::device(DeviceRole role) {
    InputDevice* real = real_.device(role);
    if (real == nullptr) return nullptr;
    std::optional<RecordingDevice>& wrapper = role == DeviceRole::Stepdeck ? deck_ : pad_;
    if (!wrapper || &wrapper->real() != real) wrapper.emplace(*real, role, recorder_);
    return &*wrapper;
}

}  // namespace hub
