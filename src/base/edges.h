// The small interfaces through which the portable core reaches everything
// outside it. The Windows program implements them with DirectInput, Winsock
// and Win32; the replay tool and the tests implement them with scripts and
// recorders. Nothing here names a platform type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/joystick_record.h"

namespace hub {

// Platform result codes: negative means failure.
using HResult = std::int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kInputLost = static_cast<HResult>(0x8007001E);
constexpr bool failed(HResult result) { return result < 0; }

// One DirectInput device as the tick uses it.
class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual HResult poll() = 0;
    virtual HResult acquire() = 0;
    virtual HResult getState(JoystickRecord& out) = 0;
};

// The millisecond clock of the system (GetTickCount64).
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t nowMs() = 0;
};

// An IPv4 endpoint in host byte order (127.0.0.1 is 0x7F000001).
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};
inline constexpr std::uint32_t kLoopback = 0x7F000001;

// The one outgoing UDP socket of the process.
class DatagramSocket {
public:
    virtual ~DatagramSocket() = default;
    // Returns false when the platform reports the send as failed.
    virtual bool sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) = 0;
};

// The monitor dialog as the core drives it. Texts are UTF-8.
class Window {
public:
    virtual ~Window() = default;
    virtual void setText(int controlId, std::string_view text) = 0;
    virtual void enable(int controlId, bool enabled) = 0;
    // Ownerless, error icon, one OK button; returns when it is dismissed.
    virtual void messageBox(std::string_view text, std::string_view caption) = 0;
    virtual void stopTimer() = 0;
    virtual void endDialog(int result) = 0;
};

// Starts other programs (the feeder) and knows where this program lives.
class Launcher {
public:
    virtual ~Launcher() = default;
    // The running program's full path, UTF-8 (for example C:\Hub\hub.exe).
    virtual std::string_view programPath() = 0;
    // Starts the program at this full path without waiting for it.
    virtual void start(std::string_view programFullPath) = 0;
};

// Ends the whole process at once (a failed tested send).
class Process {
public:
    virtual ~Process() = default;
    [[noreturn]] virtual void exitNow(int status) = 0;
};

}  // namespace hub
