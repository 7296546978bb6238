// A hub composed as hub.exe composes it: scripted edges, devices, device
// platform and device search behind the recording's decorators, and, given a file, a writer
// into it that records the session (without one, the decorators only pass
// everything through, as in hub.exe without -record).
#pragma once

#include <atomic>
#include <optional>

#include "engine/dialog.h"
#include "engine/session.h"
#include "engine/session_recorder.h"
#include "scripted_devices.h"
#include "scripted_edges.h"
#include "steady_use.h"

namespace hub::testing {

struct RecordedHub {
    explicit RecordedHub(RecordingFile* file, std::size_t capacity = RecordingWriter::kDefaultCapacity,
                         WriterTiming timing = {}) {
        hub.recorder = &recorder;
        if (file == nullptr) return;
        recorder.start(writer.emplace(*file, capacity, timing));
    }
    RecordedHub(const RecordedHub&) = delete;
    RecordedHub& operator=(const RecordedHub&) = delete;

    // Start-up and the dialog's initialisation with the platform's controllers.
    void begin(bool filterXInputDevices = false) {
        hub.devices.search = &recordingSearch;
        startUp(hub);
        initialiseDialog(hub, recordingPlatform, filterXInputDevices);
    }
    // One timer message at time t.
    void timer(std::uint64_t t) {
        clock.now = t;
        onTimer(hub);
    }

    ScriptedDevice deck, pad;
    ScriptedClock clock;
    ScriptedSocket socket;
    ScriptedWindow window;
    ScriptedLauncher launcher;
    ScriptedProcess process;
    SessionRecorder recorder;
    RecordingClock recordingClock{clock, recorder};
    RecordingSocket recordingSocket{socket, recorder};
    RecordingProcess recordingProcess{process, recorder};
    Hub hub{HubEdges{recordingClock, recordingSocket, window, launcher, recordingProcess}};
    ScriptedDevicePlatform platform{deck, pad};
    RecordingDevicePlatform recordingPlatform{platform, recorder};
    ScriptedDeviceSearch search{platform, hub.devices.xinputDevices};
    RecordingDeviceSearch recordingSearch{search, recorder};
    std::optional<RecordingWriter> writer;
};

// A file that keeps nothing and counts what it was given, without touching
// the heap.
class CountingRecordingFile final : public RecordingFile {
public:
    std::atomic<std::uint64_t> bytes{0};
    std::size_t write(std::span<const char> written) override {
        bytes += written.size();
        return written.size();
    }
    bool flush() override { return true; }
    bool truncate(std::uint64_t) override { return true; }
    std::string failure() override { return {}; }
};

// A hub composed as hub.exe composes it, in the steady use of steady_use.h:
// a gamepad, the feeder enabled, a remote app sending its inputs through the
// listener's queue, Flight Sim (the busiest vJoy mode); on edges that keep
// nothing.
struct SteadyRecordedHub : RecordedHub {
    explicit SteadyRecordedHub(RecordingFile* file) : RecordedHub(file) {
        platform.controllers = {stepdeckController(1), gamepadController(2, "Bench pad")};
        socket.keep = false;
        window.keep = false;
        begin();
        hub.state.dialog.vjoyMode = VjoyMode::FlightSim;
        for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) hub.state.received.push(datagram, kPeer);
    }

    // One timer message a period after the last, on the next step of the motion.
    void timerOnce() {
        now += kTickPeriodMs;
        moveInputs(deck.record, pad.record, VjoyMode::FlightSim, now);
        if (remoteInputsArrive(now)) hub.state.received.push(remoteInputs(pad.record), kPeer);
        timer(now);
    }

    std::uint64_t now = kStartMs;
};

}  // namespace hub::testing
