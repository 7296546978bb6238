#include <windows.h>
#include <dbt.h>

#include "engine/dialog.h"
#include "engine/session.h"
#include "shell/shell.h"
#include "shell/timer_resolution.h"

namespace hub::windows {

namespace {

void initialise(HWND dialog, Shell& shell) {
    shell.window.attach(dialog);
    shell.devices = std::make_unique<DirectInputPlatform>(shell.module, dialog);
    shell.recordedDevices = std::make_unique<RecordingDevicePlatform>(*shell.devices, shell.recorder);
    shell.search = std::make_unique<DirectInputSearch>(shell.module, shell.hub.devices.xinputDevices);
    shell.recordedSearch = std::make_unique<RecordingDeviceSearch>(*shell.search, shell.recorder);
    shell.hub.devices.search = shell.recordedSearch.get();
    initialiseDialog(shell.hub, *shell.recordedDevices, shell.filterXInputDevices);
    // Harmless when the set-up has ended the dialog: it is destroyed before
    // the first timer message, and the destruction ends the resolution.
    requestFineTimer();
    shell.window.startTimer();
}

// The search's worker touches none of what is released here; stopping it
// waits at most for the enumeration it is running.
void destroy(Shell& shell) {
    shell.window.stopTimer();
    releaseFineTimer();
    shutDown(shell.hub);
    shell.devices->shutDown();
    shell.search->stop();
}

}  // namespace

INT_PTR CALLBACK monitorDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        initialise(dialog, *reinterpret_cast<Shell*>(lParam));
        return TRUE;
    }
    auto* shell = reinterpret_cast<Shell*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (shell == nullptr) return FALSE;  // messages before the initialisation
    switch (message) {
        case WM_ACTIVATE:
            onActivate(shell->hub, LOWORD(wParam) != WA_INACTIVE);
            shell->window.showPending();
            return TRUE;
        case WM_TIMER:
            onTimer(shell->hub);
            shell->window.showPending();  // after the tick's datagrams
            return TRUE;
        case WM_COMMAND:
            onCommand(shell->hub, LOWORD(wParam));
            shell->window.showPending();
            return TRUE;
        // Sent to every top-level window when a device node is added or
        // removed: a HID game controller plugged in or pulled out among them.
        case WM_DEVICECHANGE:
            if (wParam == DBT_DEVNODES_CHANGED) onDevicesChanged(shell->hub);
            return TRUE;
        case WM_DESTROY: destroy(*shell); return TRUE;
        default: return FALSE;
    }
}

}  // namespace hub::windows
