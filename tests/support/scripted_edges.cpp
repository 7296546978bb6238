#include "scripted_edges.h"

#include <algorithm>

namespace hub::testing {

void ScriptedDevice::load(HResult poll, std::vector<HResult> acquires, HResult read, const JoystickRecord& state) {
    pollResult = poll;
    acquireResults = std::move(acquires);
    nextAcquire_ = 0;
    readResult = read;
    record = state;
}

HResult ScriptedDevice::poll() {
    ++pollCalls;
    return pollResult;
}

HResult ScriptedDevice::acquire() {
    ++acquireCalls;
    return nextAcquire_ < acquireResults.size() ? acquireResults[nextAcquire_++] : 0;
}

HResult ScriptedDevice::getState(JoystickRecord& out) {
    ++readCalls;
    if (!failed(readResult)) out = record;
    return readResult;
}

bool ScriptedSocket::sendTo(const Endpoint& to, std::span<const std::uint8_t> data) {
    const std::uint64_t number = datagrams++;
    bytes += data.size();
    if (keep) sent.push_back({to, {data.begin(), data.end()}});
    const bool delivered = !failSends && std::find(failingSends.begin(), failingSends.end(), number) == failingSends.end();
    if (observer != nullptr) {
        observer->onSend(to, data);
        if (!delivered) observer->onSendFailed(to);
    }
    return delivered;
}

std::vector<SentDatagram> ScriptedSocket::to(std::uint16_t port) const {
    std::vector<SentDatagram> matching;
    for (const auto& datagram : sent) {
        if (datagram.to.port == port) matching.push_back(datagram);
    }
    return matching;
}

void ScriptedWindow::setText(int id, std::string_view text) {
    textBytes += text.size();
    if (keep) {
        texts[id] = std::string(text);
        writes.emplace_back(id, std::string(text));
    }
    if (observer != nullptr) observer->onText(id, text);
}

void ScriptedWindow::enable(int id, bool value) {
    if (keep) enabled[id] = value;
    if (observer != nullptr) observer->onEnable(id, value);
}

void ScriptedWindow::messageBox(std::string_view text, std::string_view caption) {
    if (keep) messageBoxes.emplace_back(std::string(text), std::string(caption));
    if (observer != nullptr) observer->onMessageBox(text, caption);
}

void ScriptedWindow::endDialog(int result) {
    if (endedWith) return;  // the dialog is gone
    endedWith = result;
    if (observer != nullptr) observer->onEndDialog(result);
}

void ScriptedLauncher::start(std::string_view program) {
    started.emplace_back(program);
    if (observer != nullptr) observer->onLaunch(program);
}

void ScriptedProcess::exitNow(int status) {
    if (observer != nullptr) observer->onExit(status);
    throw ProcessExit{status};
}

std::size_t ScriptedRecordingFile::write(std::span<const char> bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t room = diskSize - std::min(diskSize, contents_.size());
    const std::size_t done = std::min(room, bytes.size());
    contents_.append(bytes.data(), done);
    return done;
}

bool ScriptedRecordingFile::flush() {
    std::lock_guard lock(mutex_);
    if (failFlush) return false;
    ++flushes_;
    flushedSize_ = contents_.size();
    return true;
}

bool ScriptedRecordingFile::truncate(std::uint64_t size) {
    std::lock_guard lock(mutex_);
    ++truncations_;
    contents_.resize(static_cast<std::size_t>(size));
    return true;
}

std::string ScriptedRecordingFile::failure() {
    std::lock_guard lock(mutex_);
    return failFlush ? "The device is not ready." : "There is not enough space on the disk.";
}

std::string ScriptedRecordingFile::contents() const {
    std::lock_guard lock(mutex_);
    return contents_;
}

int ScriptedRecordingFile::flushes() const {
    std::lock_guard lock(mutex_);
    return flushes_;
}

int ScriptedRecordingFile::truncations() const {
    std::lock_guard lock(mutex_);
    return truncations_;
}

std::size_t ScriptedRecordingFile::flushedSize() const {
    std::lock_guard lock(mutex_);
    return flushedSize_;
}

ScriptedHub::ScriptedHub(Attached attached) {
    if (attached != Attached::Nothing) hub.devices.deck = &deck;
    if (attached == Attached::StepdeckAndGamepad) attachGamepad();
}

void ScriptedHub::observe(EdgeObserver* observer) {
    socket.observer = observer;
    window.observer = observer;
    launcher.observer = observer;
    process.observer = observer;
}

void ScriptedHub::keepNothing() {
    socket.keep = false;
    window.keep = false;
}

HResult ScriptedHub::tick(std::uint64_t t) {
    clock.now = t;
    return inputTick(hub);
}

}  // namespace hub::testing
