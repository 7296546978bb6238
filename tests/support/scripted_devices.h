// A device platform for tests and hub-replay: a list of attached controllers,
// each with its objects, a failure code settable for every platform call,
// and a record of what the set-up did. The devices it creates are the
// scripted hub's own Stepdeck and gamepad.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/device_setup.h"
#include "scripted_edges.h"

namespace hub::testing {

struct ScriptedController {
    ControllerInfo info;
    std::vector<DeviceObject> objects;
    HResult createResult = 0;
    bool attached = true;  // unplugged: not enumerated, and cannot be created
};

// HID product GUIDs: product id * 65536 + vendor id, then "PIDVID".
Guid hidProduct(std::uint16_t vendor, std::uint16_t product);
Guid instanceNumber(std::uint32_t n);
std::vector<DeviceObject> sixAxes();
ScriptedController stepdeckController(std::uint32_t instance, std::uint16_t usage = 4,
                                      std::vector<DeviceObject> objects = sixAxes());
ScriptedController gamepadController(std::uint32_t instance, std::string name, std::uint16_t vendor = 0x045E,
                                     std::uint16_t product = 0x028E);

class ScriptedDevicePlatform final : public DevicePlatform {
public:
    struct RoleResults {
        HResult createDirectInput = 0;
        HResult enumerate = 0;
        HResult setFormat = 0;
        HResult setCooperativeLevel = 0;
        HResult enumerateObjects = 0;
        std::map<std::uint32_t, HResult> setRange;  // by object id; others succeed
    };

    ScriptedDevicePlatform(ScriptedDevice& deck, ScriptedDevice& pad) : deck_(deck), pad_(pad) {}

    std::vector<ScriptedController> controllers;
    std::vector<std::u16string> pnpDeviceIds;
    RoleResults stepdeck, gamepad;

    // What happened, for the tests to look at.
    bool pnpListed = false;
    std::map<DeviceRole, std::uint32_t> createdInstance;  // data1 of the created device's instance
    std::map<DeviceRole, std::uint32_t> cooperativeLevel;
    std::vector<std::pair<DeviceRole, std::uint32_t>> rangesSet;  // role, object id
    std::map<DeviceRole, bool> dropped;
    std::map<DeviceRole, int> enumerations;

    HResult createDirectInput(DeviceRole role) override { return results(role).createDirectInput; }
    HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) override;
    HResult createDevice(DeviceRole role, const Guid& instance) override;
    HResult setJoystickFormat(DeviceRole role) override { return results(role).setFormat; }
    HResult setCooperativeLevel(DeviceRole role, std::uint32_t flags) override;
    HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) override;
    HResult setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                         std::int32_t maximum) override;
    void dropDevice(DeviceRole role) override;
    InputDevice* device(DeviceRole role) override;
    HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) override;

private:
    RoleResults& results(DeviceRole role) { return role == DeviceRole::Stepdeck ? stepdeck : gamepad; }
    const ScriptedController* byInstance(const Guid& instance) const;

    ScriptedDevice& deck_;
    ScriptedDevice& pad_;
    std::map<DeviceRole, const ScriptedController*> created_;
};

// The search for a lost device that tests and hub-replay use: a search's
// enumeration runs on the scripted platform, with the set-up's choice rules,
// when its outcome is taken. A role marked `running` holds its outcome back,
// as a slow enumeration does.
class ScriptedDeviceSearch final : public DeviceSearch {
public:
    // hidden: the XInput filter's list, as the set-up leaves it.
    ScriptedDeviceSearch(ScriptedDevicePlatform& platform, const std::optional<XInputDeviceList>& hidden)
        : platform_(platform), hidden_(hidden) {}

    std::map<DeviceRole, bool> running;
    std::map<DeviceRole, int> started;

    void start(DeviceRole role) override;
    std::optional<SearchOutcome> takeFinished(DeviceRole role) override;

private:
    ScriptedDevicePlatform& platform_;
    const std::optional<XInputDeviceList>& hidden_;
    std::map<DeviceRole, bool> pending_;
};

}  // namespace hub::testing
