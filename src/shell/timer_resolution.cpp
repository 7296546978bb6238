#include "shell/timer_resolution.h"

#include <windows.h>
#include <mmsystem.h>

namespace hub::windows {

namespace {

constexpr UINT kResolutionMs = 1;

// SetProcessInformation exists from Windows 8 on, ProcessPowerThrottling from
// Windows 10 version 1709, the timer-resolution flag from Windows 11: looked
// up at run time, so the hub starts where it is missing, and refused calls
// change nothing.
void optOutOfPowerThrottling() {
    using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "SetProcessInformation") : nullptr;
    if (found == nullptr) return;
    const auto setProcessInformation =
        reinterpret_cast<SetProcessInformationCall>(reinterpret_cast<void (*)()>(found));
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    // Both controlled, neither set: the resolution is always honoured and the
    // speed never throttled, also while the window is hidden.
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION | PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
    state.StateMask = 0;
    setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

void requestFineTimer() {
    timeBeginPeriod(kResolutionMs);
    optOutOfPowerThrottling();
}

void releaseFineTimer() { timeEndPeriod(kResolutionMs); }

}  // namespace hub::windows
