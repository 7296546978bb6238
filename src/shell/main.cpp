// hub.exe: start-up, the monitor dialog, shutdown.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "devices/wide_text.h"
#include "engine/command_line.h"
#include "engine/recording_notices.h"
#include "engine/session.h"
#include "engine/xinput_filter.h"
#include "shell/recording_file.h"
#include "shell/resource.h"
#include "shell/shell.h"

namespace {

// The process's arguments as the platform splits its command line.
std::vector<std::u16string> commandLineArguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return {};
    std::vector<std::u16string> copies;
    for (int i = 0; i < count; ++i) {
        const std::wstring_view argument(arguments[i]);
        copies.emplace_back(argument.begin(), argument.end());
    }
    LocalFree(arguments);
    return copies;
}

}  // namespace

namespace hub::windows {

void Shell::startRecording(std::optional<std::u16string_view> path) {
    if (!path) return;
    recordingPath = narrow({reinterpret_cast<const wchar_t*>(path->data()), path->size()});
    WindowsRecordingFiles files;
    recordingFile = openRecordingFile(std::string_view(recordingPath), files, window);
    if (recordingFile == nullptr) return;
    recordingWriter = std::make_unique<RecordingWriter>(*recordingFile);
    recorder.start(*recordingWriter);
}

void Shell::finishRecording() {
    if (recordingWriter == nullptr) return;
    recordingWriter->close();
    reportEarlyStop(*recordingWriter, recordingPath, window);
}

}  // namespace hub::windows

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    InitCommonControls();
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);

    // Lives until the process ends: the listener thread is never stopped.
    static hub::windows::Shell shell(instance);

    const SOCKET listenSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (listenSocket == INVALID_SOCKET) return 1;
    hub::windows::startListenerThread(listenSocket, shell.hub.state.received);
    shell.sender.adopt(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));

    hub::startUp(shell.hub);
    const std::vector<std::u16string> arguments = commandLineArguments();
    const std::vector<std::u16string_view> views(arguments.begin(), arguments.end());
    shell.filterXInputDevices = hub::noXInputSwitchGiven(views);
    shell.startRecording(hub::recordPathArgument(views));

    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MONITOR), nullptr, hub::windows::monitorDialogProcedure,
                    reinterpret_cast<LPARAM>(&shell));
    shell.finishRecording();
    CoUninitialize();
    return 0;
}
