// The clock, the launcher and the process edges over the Windows kernel and shell.
#pragma once

#include <string>

#include "base/edges.h"

namespace hub::windows {

class TickClock final : public Clock {
public:
    std::uint64_t nowMs() override;
};

class ShellLauncher final : public Launcher {
public:
    // Empty when the module's path cannot be read whole.
    std::string_view programPath() override;
    // Starts the program itself, through no command processor, without waiting.
    void start(std::string_view programFullPath) override;

private:
    std::string programPath_;
    bool pathRead_ = false;
};

class ExitingProcess final : public Process {
public:
    [[noreturn]] void exitNow(int status) override;
};

}  // namespace hub::windows
