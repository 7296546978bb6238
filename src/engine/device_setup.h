// The device set-up: finds the Stepdeck and an optional gamepad among the
// attached game controllers, configures both for the tick and enables the
// dialog labels of the axes the Stepdeck reports. The searches for a lost
// device choose and configure it the same way. It works over DevicePlatform,
// a small DirectInput-like interface, and a search's enumeration runs off the
// tick behind DeviceSearch: the Windows program implements both with
// DirectInput 8 and WMI, the tests and the replay tool with fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/edges.h"
#include "engine/xinput_filter.h"

namespace hub {

struct Hub;

// A GUID field by field (the layout of the platform's GUID).
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

// One attached game controller as the platform's enumeration describes it.
struct ControllerInfo {
    Guid instance;           // which device: what createDevice takes
    Guid product;            // which product
    std::uint16_t usage = 0; // HID usage: 4 joystick, 5 game pad
    std::string name;        // product name, UTF-8, as the platform reports it
};

enum class ObjectType { XAxis, YAxis, ZAxis, RxAxis, RyAxis, RzAxis, Slider, Pov, Other };

// One object (axis, slider, point of view, button...) of a created device.
struct DeviceObject {
    ObjectType type = ObjectType::Other;
    bool isAxis = false;     // relative or absolute axis: it gets a range
    std::uint32_t id = 0;    // the platform's object id, for setAxisRange
};

enum class Enumeration { Continue, Stop };

// Each role has its own DirectInput object and at most one device.
enum class DeviceRole { Stepdeck, Gamepad };

// Cooperative levels, the platform's flag values.
inline constexpr std::uint32_t kExclusiveBackground = 0x1 | 0x8;     // the Stepdeck
inline constexpr std::uint32_t kNonExclusiveBackground = 0x2 | 0x8;  // the gamepad

inline constexpr std::int32_t kAxisMinimum = -1000;
inline constexpr std::int32_t kAxisMaximum = 1000;

using ControllerChoice = std::function<Enumeration(const ControllerInfo&)>;
// Offers controllers to a choice, in order, until it answers Stop; returns
// the enumeration's code.
using ControllerSource = std::function<HResult(const ControllerChoice&)>;
using ObjectHandler = std::function<Enumeration(const DeviceObject&)>;

class DevicePlatform {
public:
    virtual ~DevicePlatform() = default;
    // Creates the role's DirectInput object (version 0x0800).
    virtual HResult createDirectInput(DeviceRole role) = 0;
    // Offers every attached game controller to choose, in the platform's
    // order, until it answers Stop.
    virtual HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) = 0;
    // Creates the device on the role's DirectInput object as the role's device.
    virtual HResult createDevice(DeviceRole role, const Guid& instance) = 0;
    // The standard extended joystick record (JoystickRecord).
    virtual HResult setJoystickFormat(DeviceRole role) = 0;
    virtual HResult setCooperativeLevel(DeviceRole role, std::uint32_t flags) = 0;
    virtual HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) = 0;
    virtual HResult setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                                 std::int32_t maximum) = 0;
    // Releases the role's device; device(role) is empty afterwards.
    virtual void dropDevice(DeviceRole role) = 0;
    virtual InputDevice* device(DeviceRole role) = 0;
    // Hands every Plug and Play device id to examine (WMI's Win32_PNPEntity);
    // ids examined before a failure count.
    virtual HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) = 0;
};

// What a search for a lost device found: the enumeration's code and, in the
// platform's order, the attached controllers that pass the role's choice
// (none count when the enumeration failed).
struct SearchOutcome {
    HResult enumerate = kOk;
    std::vector<ControllerInfo> candidates;
};

// Searches for a lost device without holding up the tick: the enumeration
// runs elsewhere (the Windows program: on a thread of its own, with its own
// DirectInput object), and the tick's thread takes the outcome when it is
// ready. At most one search per role runs.
class DeviceSearch {
public:
    virtual ~DeviceSearch() = default;
    // Starts the role's search; none of the role's runs.
    virtual void start(DeviceRole role) = 0;
    // The outcome of the role's search once it has finished, handed over
    // once; empty while it still runs.
    virtual std::optional<SearchOutcome> takeFinished(DeviceRole role) = 0;
};

// The Stepdeck and the gamepad, once the device set-up has chosen them, and
// what a later search for a lost one needs.
struct Devices {
    InputDevice* deck = nullptr;
    InputDevice* gamepad = nullptr;
    std::string gamepadName;  // UTF-8, as the device reports it
    DevicePlatform* platform = nullptr;
    DeviceSearch* search = nullptr;  // none: a lost device is never searched for
    std::optional<XInputDeviceList> xinputDevices;  // with the XInput filter on: the controllers it hides
};

// The Stepdeck's product (vendor 0xFFFF, product 0x0000, a HID product GUID).
bool hasStepdeckIdentity(const Guid& product);
// ... reporting itself as a joystick or a game pad.
bool isStepdeck(const ControllerInfo& controller);

// The role's choice rules, which the set-up and every search apply: the
// Stepdeck; for the gamepad any other controller but a virtual joystick
// ("vJoy..."); neither one hidden by the XInput filter (`hidden`, when on).
bool passesChoice(DeviceRole role, const ControllerInfo& controller, const XInputDeviceList* hidden);

// A search's enumeration: the controllers `source` offers that pass the
// role's choice, in order, or the enumeration's failure code.
SearchOutcome listCandidates(DeviceRole role, const XInputDeviceList* hidden, const ControllerSource& source);

// Runs the set-up for the dialog and fills hub.devices. Negative: a platform
// failure the dialog reports. 0: success, and also after the Stepdeck-not-
// found path, which has already stopped the feeder, told the user and ended
// the dialog.
HResult setUpDevices(Hub& hub, DevicePlatform& platform, bool filterXInputDevices);

// Starts a search for the lost device of the role: releases it first, so
// that the role holds at most the one device a search finds.
void startSearch(Devices& devices, DeviceRole role);

// A finished search's outcome: creates the first candidate that can be
// created, configures it as the set-up does (labels included) and acquires
// it, so that the next tick reads it. False, without a device, when there was
// none or the enumeration or the configuration failed.
bool takeSearchOutcome(Devices& devices, DeviceRole role, const SearchOutcome& outcome, Window& window);

}  // namespace hub
