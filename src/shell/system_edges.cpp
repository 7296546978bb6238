#include "shell/system_edges.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "devices/wide_text.h"

namespace hub::windows {

namespace {

constexpr DWORD kLongestPath = 32768;  // the platform's limit for extended paths

}  // namespace

std::uint64_t TickClock::nowMs() { return GetTickCount64(); }

std::string_view ShellLauncher::programPath() {
    if (!pathRead_) {
        pathRead_ = true;
        std::vector<wchar_t> path(kLongestPath);
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongestPath);
        if (length > 0 && length < kLongestPath) programPath_ = narrow({path.data(), length});
    }
    return programPath_;
}

void ShellLauncher::start(std::string_view programFullPath) {
    // The same launch the command processor's start would make, minus the
    // command processor: the current directory is inherited, the result is
    // not observed.
    ShellExecuteW(nullptr, L"open", widen(programFullPath).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void ExitingProcess::exitNow(int status) { ExitProcess(static_cast<UINT>(status)); }

}  // namespace hub::windows
