// A hub composed as hub.exe composes it: scripted edges, devices and device
// platform behind the recording's decorators, and, given a file, a writer
// into it that records the session (without one, the decorators only pass
// everything through, as in hub.exe without -record).
#pragma once

#include <optional>

#include "engine/dialog.h"
#include "engine/session.h"
#include "engine/session_recorder.h"
#include "scripted_devices.h"
#include "scripted_edges.h"

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
    void begin() {
        startUp(hub);
        initialiseDialog(hub, recordingPlatform, false);
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
    std::optional<RecordingWriter> writer;
};

}  // namespace hub::testing
