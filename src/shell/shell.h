// Everything the Windows program keeps for its whole run: the edges, the hub
// and, from the dialog's initialisation to its destruction, the devices.
#pragma once

#include <windows.h>

#include <memory>

#include "devices/direct_input_platform.h"
#include "engine/hub.h"
#include "shell/dialog_window.h"
#include "shell/system_edges.h"
#include "shell/winsock_edges.h"

namespace hub::windows {

struct Shell {
    explicit Shell(HINSTANCE instance) : module(instance) {}

    HINSTANCE module;
    TickClock clock;
    WinsockSender sender;
    DialogWindow window;
    ShellLauncher launcher;
    ExitingProcess process;
    Hub hub{HubEdges{clock, sender, window, launcher, process}};
    bool filterXInputDevices = false;
    std::unique_ptr<DirectInputPlatform> devices;
};

// The dialog procedure of template 103; the creation parameter is the Shell.
INT_PTR CALLBACK monitorDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace hub::windows
