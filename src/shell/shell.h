// Everything the Windows program keeps for its whole run: the edges, the hub
// and, from the dialog's initialisation to its destruction, the devices and
// the search for a lost one. The
// clock, the socket, the process and the devices reach the hub through the
// recording's decorators, which pass everything through unchanged while
// nothing is recorded.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "devices/direct_input_platform.h"
#include "devices/direct_input_search.h"
#include "engine/hub.h"
#include "engine/recording_writer.h"
#include "engine/session_recorder.h"
#include "shell/dialog_window.h"
#include "shell/system_edges.h"
#include "shell/winsock_edges.h"

namespace hub::windows {

struct Shell {
    explicit Shell(HINSTANCE instance) : module(instance) { hub.recorder = &recorder; }

    // The session recording the switch record asks for: after telling the
    // user why not, none when its file cannot be created.
    void startRecording(std::optional<std::u16string_view> path);
    // Once the dialog has ended: the file complete, and an early stop told.
    void finishRecording();

    HINSTANCE module;
    SessionRecorder recorder;
    TickClock systemClock;
    RecordingClock clock{systemClock, recorder};
    WinsockSender sender;
    RecordingSocket socket{sender, recorder};
    DialogWindow window;
    ShellLauncher launcher;
    ExitingProcess exitingProcess;
    RecordingProcess process{exitingProcess, recorder};
    Hub hub{HubEdges{clock, socket, window, launcher, process}};
    bool filterXInputDevices = false;
    std::unique_ptr<DirectInputPlatform> devices;
    std::unique_ptr<RecordingDevicePlatform> recordedDevices;
    std::unique_ptr<DirectInputSearch> search;
    std::unique_ptr<RecordingDeviceSearch> recordedSearch;

    std::string recordingPath;  // UTF-8, as given
    std::unique_ptr<RecordingFile> recordingFile;
    std::unique_ptr<RecordingWriter> recordingWriter;
};

// The dialog procedure of template 103; the creation parameter is the Shell.
INT_PTR CALLBACK monitorDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace hub::windows
