// The simulated game controllers behind the simulator's dinput8.dll: their
// identities and objects, their live state, the axis ranges, the injected
// failures, unplugging and plugging back, the configuration file, the text
// commands of the control port and the timed script. Plain C++: the COM layer
// (sim_dinput.cpp) only adapts it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stepdeck_sim {

// Objects a device can report, in the order the device enumerates them.
enum class ObjectKind { X, Y, Z, Rx, Ry, Rz, Slider, Pov, Button };

// One call site where a failure can be injected. A failure point lets
// `skip` calls pass, then fails `count` calls (kAlways: every later call).
enum class FailPoint {
    // Per device.
    Create, DataFormat, CoopLevel, EnumObjects, Range, Acquire, Poll, State,
    // Global.
    DirectInput, EnumDevices,
};
inline constexpr int kFailPointCount = 10;

struct Failure {
    static constexpr std::int64_t kAlways = -1;
    std::int64_t skip = 0;
    std::int64_t count = 0;
    // Called once per call of the guarded operation; true when it must fail.
    bool strike();
};

struct AxisRange {
    std::int32_t min = 0;
    std::int32_t max = 65535;  // DirectInput's usual range before the program sets one
};

// The exact layout of DIJOYSTATE2 (272 bytes), filled by `fillState`.
struct JoyState2 {
    std::int32_t lX, lY, lZ, lRx, lRy, lRz;
    std::int32_t rglSlider[2];
    std::uint32_t rgdwPOV[4];
    std::uint8_t rgbButtons[128];
    std::int32_t rest[24];  // velocities, accelerations, forces: always 0
};
static_assert(sizeof(JoyState2) == 272, "must match DIJOYSTATE2");

inline constexpr std::uint32_t kPovCentred = 0xFFFFFFFFu;

// Live values in the simulator's own units: axes and sliders -1000 ... 1000,
// POVs in hundredths of a degree or kPovCentred, buttons pressed or not.
struct LiveState {
    std::array<std::int32_t, 6> axes{};  // x y z rx ry rz
    std::array<std::int32_t, 2> sliders{};
    std::array<std::uint32_t, 4> povs{kPovCentred, kPovCentred, kPovCentred, kPovCentred};
    std::array<bool, 128> buttons{};
};

// What the program did to a device, for the `stats` command.
struct DeviceStats {
    std::uint32_t created = 0, polls = 0, reads = 0, acquires = 0;
    bool acquired = false;
    std::uint32_t cooperativeFlags = 0;
    std::uint32_t dataSize = 0;  // of the data format set, 0 before
    std::uint32_t rangesSet = 0;
    AxisRange lastRange{};
};

struct Device {
    std::string name = "Stepdeck";  // UTF-8
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t product = 0x0000;
    std::uint16_t usagePage = 1;
    std::uint16_t usage = 4;
    std::vector<ObjectKind> objects;
    LiveState state;
    std::array<Failure, kFailPointCount> failures{};
    DeviceStats stats;
    // An unplugged device is not enumerated. Plugged back as a new instance
    // it gets a new instance number (and instance GUID); the device objects
    // created for an older instance stay dead.
    bool plugged = true;
    std::uint32_t instance = 0;
    std::uint32_t unplugs = 0;  // how often it was unplugged: a lost acquisition shows as a change

    int count(ObjectKind kind) const;
    bool strike(FailPoint point) { return failures[static_cast<int>(point)].strike(); }
};

// One device object the program created (what CreateDevice returned) as
// the plugging rules see it.
struct Handle {
    std::uint32_t instance = 0;  // of the device when the object was created
    bool acquired = false;
    std::uint32_t unplugsAtAcquire = 0;
};

// What DirectInput answers where plugging decides it.
enum class Answer { Ok, NoEffect, InputLost, NotAcquired, Unplugged };

// As on Windows: a handle of an unplugged device, or of an instance that was
// replaced by a new one, cannot be acquired (Unplugged). A handle that held
// the device acquired when it was unplugged answers its next Poll or
// GetDeviceState with InputLost and is unacquired; after that NotAcquired.
bool isLive(const Device& device, const Handle& handle);
Answer acquire(Device& device, Handle& handle);
Answer unacquire(Device& device, Handle& handle);
// The acquisition check of Poll and GetDeviceState.
Answer checkInput(Device& device, Handle& handle);

struct ScriptEntry {
    std::uint32_t atMs = 0;
    std::string command;  // a control command, or "loop"
};

struct Simulator {
    std::vector<Device> devices;
    std::array<Failure, kFailPointCount> failures{};  // the global points
    // Not 45050: a remote app that says hello 1,3,4,50,50 listens there.
    int controlPort = 45150;                          // 0: no control port
    std::string scriptPath;                           // as written in the configuration
    std::vector<ScriptEntry> script;
    std::size_t scriptNext = 0;
    std::uint32_t scriptOriginMs = 0;  // moved forward by "loop"
    std::uint32_t directInputsCreated = 0, enumerations = 0;
    // How long every EnumDevices takes ("delay enumerate MS"), as on a PC
    // whose HID stack is slow to list its devices.
    std::uint32_t enumerateDelayMs = 0;
    // Told of every plug and unplug, as Windows tells the program's windows
    // (none: nobody is told).
    void (*devicesChanged)() = nullptr;
    // DirectInput and device objects created and not yet released: what a
    // program that leaks shows after many unplug and plug cycles.
    std::uint32_t directInputsAlive = 0, devicesAlive = 0;

    bool strike(FailPoint point) { return failures[static_cast<int>(point)].strike(); }
};

// One Stepdeck with six axes and four buttons.
Simulator defaultSimulator();

// Reads a configuration file's text. On an error returns false and names the
// line in `error`.
bool parseConfig(std::string_view text, Simulator& out, std::string& error);

// Reads a timed script ("<ms> <command>" per line). False with `error` on a
// malformed line; the commands themselves are checked when they run.
bool parseScript(std::string_view text, std::vector<ScriptEntry>& out, std::string& error);

// Runs one control command and returns its one-line reply ("ok ..." or
// "error ..."). "say TEXT" does nothing: scripts narrate with it.
std::string execute(Simulator& sim, std::string_view command);

// Runs every script entry that is due `elapsedMs` after the simulator started,
// telling `applied` (when given) each command it ran.
void runScript(Simulator& sim, std::uint32_t elapsedMs,
               void (*applied)(const std::string& command) = nullptr);

// A value in -1000 ... 1000 as a device with this range reports it; the
// range -1000 ... 1000 passes the value through unchanged.
std::int32_t scaleToRange(std::int32_t value, AxisRange range);

// The record GetDeviceState delivers. `ranges` holds one range per object of
// the device, in object order (only the axis and slider entries are used).
void fillState(const Device& device, const std::vector<AxisRange>& ranges, JoyState2& out);

}  // namespace stepdeck_sim
