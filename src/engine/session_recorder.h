// Records a session as a replay script that hub-replay plays back byte for
// byte: what the hub's edges returned to it and the dialog's messages, in the
// order in which the hub's logic observed them. Decorators around the real
// devices, clock, socket and process write down what passes through them; the dialog's
// handlers and the timer message tell the recorder of everything else (see
// Hub::recorder). Nothing is written before the set-up's config line, so the
// config is the script's first event; the tick writes its line without
// touching the heap.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/edges.h"
#include "engine/device_setup.h"
#include "engine/recording_lines.h"
#include "engine/recording_writer.h"

namespace hub {

struct Hub;

class SessionRecorder {
public:
    // Idle until started: every call then passes without a trace.
    void start(RecordingWriter& writer);
    bool recording() const { return writer_ != nullptr; }

    // The dialog's initialisation, once the device set-up has chosen the
    // devices (or failed with `setUpResult`): the config line.
    void setUpFinished(const Hub& hub, HResult setUpResult, bool filterXInputDevices);
    void activated(bool active);
    // A command's line waits until it has been handled (or the process ends
    // in it), so that it holds the sends the command made that failed.
    void commanded(int commandId);
    void commandHandled();
    void devicesChanged();

    // A timer message: the datagrams the listener queued, then the tick,
    // whose line holds what its edges returned.
    void tickStarted();
    void received(const Endpoint& from, std::span<const std::uint8_t> bytes);
    void tickEnded();

    // The process ends at once: the tick's line is written and the file
    // closed first.
    void processEnding();

    // What the decorators pass on.
    void deckObjectHandled(ObjectType type);
    void clockRead(std::uint64_t now);
    void polled(DeviceRole role, HResult result);
    void acquired(DeviceRole role, HResult result);
    void read(DeviceRole role, HResult result, const JoystickRecord& record);
    void sent(bool succeeded);
    // A search for a lost device: still running at this timer message, or
    // finished, with its enumeration's code; then the device created from
    // what it found and the configuration of that device.
    void stillSearching(DeviceRole role);
    void enumerated(DeviceRole role, HResult result);
    void created(DeviceRole role, HResult result);
    void configured(DeviceRole role, HResult result);

private:
    // What the search for one role that finished at this timer message found.
    struct Search {
        bool searched = false;
        HResult enumerate = kOk;
        bool chosen = false;
        HResult configure = kOk;  // the first failure
    };
    // The attached controllers as the replay takes them to be.
    struct Attached {
        bool deck = false;
        bool gamepad = false;
        HResult enumerate = kOk;
        HResult deckFormat = kOk;
    };

    bool writing() const { return writer_ != nullptr && configWritten_; }
    void writeCommand();
    Search& search(DeviceRole role) { return searches_[role == DeviceRole::Stepdeck ? 0 : 1]; }
    void writeAttachedChanges();
    void write(const EventLine& line);

    RecordingWriter* writer_ = nullptr;
    bool configWritten_ = false;
    std::vector<ObjectType> deckObjects_;
    bool inTick_ = false;
    std::uint32_t sendsInTick_ = 0;
    std::optional<RecordedCommand> command_;  // being handled
    std::uint32_t sendsInCommand_ = 0;
    std::array<Search, 2> searches_;
    Attached attached_;
    std::uint64_t latestClock_ = 0;
    RecordedTick tick_;
    EventLine line_;
};

// An input device whose every answer during a tick is written down.
class RecordingDevice final : public InputDevice {
public:
    RecordingDevice(InputDevice& real, DeviceRole role, SessionRecorder& recorder)
        : real_(real), role_(role), recorder_(recorder) {}
    HResult poll() override;
    HResult acquire() override;
    HResult getState(JoystickRecord& out) override;
    const InputDevice& real() const { return real_; }

private:
    InputDevice& real_;
    const DeviceRole role_;
    SessionRecorder& recorder_;
};

class RecordingClock final : public Clock {
public:
    RecordingClock(Clock& real, SessionRecorder& recorder) : real_(real), recorder_(recorder) {}
    std::uint64_t nowMs() override;

private:
    Clock& real_;
    SessionRecorder& recorder_;
};

// The socket every datagram goes out through: a send that fails changes what
// the hub does next (a peer is dropped, or the process ends).
class RecordingSocket final : public DatagramSocket {
public:
    RecordingSocket(DatagramSocket& real, SessionRecorder& recorder) : real_(real), recorder_(recorder) {}
    bool sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) override;

private:
    DatagramSocket& real_;
    SessionRecorder& recorder_;
};

// A failed tested send ends the process at once: the recording ends first.
class RecordingProcess final : public Process {
public:
    RecordingProcess(Process& real, SessionRecorder& recorder) : real_(real), recorder_(recorder) {}
    [[noreturn]] void exitNow(int status) override;

private:
    Process& real_;
    SessionRecorder& recorder_;
};

// The search for a lost device: whether it still runs at a timer message, and
// what its enumeration returned once it has finished.
class RecordingDeviceSearch final : public DeviceSearch {
public:
    RecordingDeviceSearch(DeviceSearch& real, SessionRecorder& recorder) : real_(real), recorder_(recorder) {}
    void start(DeviceRole role) override { real_.start(role); }
    std::optional<SearchOutcome> takeFinished(DeviceRole role) override;

private:
    DeviceSearch& real_;
    SessionRecorder& recorder_;
};

// The real device platform, with the Stepdeck's objects written down as the
// set-up handles them and the devices it creates wrapped for recording.
class RecordingDevicePlatform final : public DevicePlatform {
public:
    RecordingDevicePlatform(DevicePlatform& real, SessionRecorder& recorder) : real_(real), recorder_(recorder) {}

    HResult createDirectInput(DeviceRole role) override { return real_.createDirectInput(role); }
    HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) override {
        return real_.enumerateAttachedControllers(role, choose);
    }
    HResult createDevice(DeviceRole role, const Guid& instance) override;
    HResult setJoystickFormat(DeviceRole role) override;
    HResult setCooperativeLevel(DeviceRole role, std::uint32_t flags) override;
    HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) override;
    HResult setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                         std::int32_t maximum) override {
        return real_.setAxisRange(role, objectId, minimum, maximum);
    }
    void dropDevice(DeviceRole role) override { real_.dropDevice(role); }
    InputDevice* device(DeviceRole role) override;
    HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) override {
        return real_.forEachPnpDeviceId(examine);
    }

private:
    DevicePlatform& real_;
    SessionRecorder& recorder_;
    std::optional<RecordingDevice> deck_, pad_;
};

}  // namespace hub
