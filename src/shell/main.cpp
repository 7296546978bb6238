// hub.exe: start-up, the monitor dialog, shutdown.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/xinput_filter.h"
#include "shell/resource.h"
#include "shell/shell.h"

namespace {

bool noXInputSwitchOnCommandLine() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return false;
    std::vector<std::u16string> copies;
    for (int i = 0; i < count; ++i) {
        const std::wstring_view argument(arguments[i]);
        copies.emplace_back(argument.begin(), argument.end());
    }
    LocalFree(arguments);
    const std::vector<std::u16string_view> views(copies.begin(), copies.end());
    return hub::noXInputSwitchGiven(views);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    InitCommonControls();
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);

    // Lives until the process ends: the listener thread is never stopped.
    static hub::windows::Shell shell(instance);

    const SOCKET listenSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (listenSocket == INVALID_SOCKET) return 1;
    hub::windows::startListenerThread(listenSocket, shell.hub.state.remote);
    shell.sender.adopt(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));

    hub::startUp(shell.hub);
    shell.filterXInputDevices = noXInputSwitchOnCommandLine();

    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MONITOR), nullptr, hub::windows::monitorDialogProcedure,
                    reinterpret_cast<LPARAM>(&shell));
    CoUninitialize();
    return 0;
}
