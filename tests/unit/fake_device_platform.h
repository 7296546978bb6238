// A DevicePlatform for tests: a list of attached controllers, each with its
// objects, and a failure code settable for every platform call.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/device_setup.h"
#include "fake_edges.h"

namespace hub::testing {

struct FakeController {
    ControllerInfo info;
    std::vector<DeviceObject> objects;
    HResult createResult = 0;
};

inline Guid hidProduct(std::uint16_t vendor, std::uint16_t product) {
    return Guid{static_cast<std::uint32_t>(product) << 16 | vendor, 0, 0, {0x00, 0x00, 'P', 'I', 'D', 'V', 'I', 'D'}};
}

inline Guid instanceNumber(std::uint32_t n) { return Guid{n, 0, 0, {}}; }

inline std::vector<DeviceObject> sixAxes() {
    return {{ObjectType::XAxis, true, 1},  {ObjectType::YAxis, true, 2},  {ObjectType::ZAxis, true, 3},
            {ObjectType::RxAxis, true, 4}, {ObjectType::RyAxis, true, 5}, {ObjectType::RzAxis, true, 6}};
}

inline FakeController stepdeckController(std::uint32_t instance, std::uint16_t usage = 4) {
    return {{instanceNumber(instance), hidProduct(0xFFFF, 0x0000), usage, "Stepdeck"}, sixAxes(), 0};
}

inline FakeController gamepadController(std::uint32_t instance, std::string name,
                                        std::uint16_t vendor = 0x045E, std::uint16_t product = 0x028E) {
    return {{instanceNumber(instance), hidProduct(vendor, product), 5, std::move(name)}, sixAxes(), 0};
}

class FakeDevicePlatform final : public DevicePlatform {
public:
    struct RoleResults {
        HResult createDirectInput = 0;
        HResult enumerate = 0;
        HResult setFormat = 0;
        HResult setCooperativeLevel = 0;
        HResult enumerateObjects = 0;
        std::map<std::uint32_t, HResult> setRange;  // by object id; others succeed
    };

    std::vector<FakeController> controllers;
    std::vector<std::u16string> pnpDeviceIds;
    RoleResults stepdeck, gamepad;
    bool pnpListed = false;

    // What happened, for the tests to look at.
    std::map<DeviceRole, std::uint32_t> createdInstance;  // data1 of the created device's instance
    std::map<DeviceRole, std::uint32_t> cooperativeLevel;
    std::vector<std::pair<DeviceRole, std::uint32_t>> rangesSet;  // role, object id
    std::map<DeviceRole, bool> dropped;

    FakeDevice& fakeDevice(DeviceRole role) { return role == DeviceRole::Stepdeck ? deck_ : pad_; }

    HResult createDirectInput(DeviceRole role) override { return results(role).createDirectInput; }

    HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) override {
        if (failed(results(role).enumerate)) return results(role).enumerate;
        for (const auto& controller : controllers) {
            if (choose(controller.info) == Enumeration::Stop) break;
        }
        return kOk;
    }

    HResult createDevice(DeviceRole role, const Guid& instance) override {
        const FakeController& controller = byInstance(instance);
        if (failed(controller.createResult)) return controller.createResult;
        created_[role] = &controller;
        createdInstance[role] = instance.data1;
        return kOk;
    }

    HResult setJoystickFormat(DeviceRole role) override { return results(role).setFormat; }

    HResult setCooperativeLevel(DeviceRole role, std::uint32_t flags) override {
        cooperativeLevel[role] = flags;
        return results(role).setCooperativeLevel;
    }

    HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) override {
        if (failed(results(role).enumerateObjects)) return results(role).enumerateObjects;
        for (const auto& object : created_.at(role)->objects) {
            if (handle(object) == Enumeration::Stop) break;
        }
        return kOk;
    }

    HResult setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                         std::int32_t maximum) override {
        if (minimum != -1000 || maximum != 1000) return -1;
        const auto& failures = results(role).setRange;
        if (const auto it = failures.find(objectId); it != failures.end()) return it->second;
        rangesSet.emplace_back(role, objectId);
        return kOk;
    }

    void dropDevice(DeviceRole role) override {
        created_.erase(role);
        dropped[role] = true;
    }

    InputDevice* device(DeviceRole role) override {
        return created_.contains(role) ? &fakeDevice(role) : nullptr;
    }

    HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) override {
        pnpListed = true;
        for (const auto& id : pnpDeviceIds) examine(id);
        return kOk;
    }

private:
    RoleResults& results(DeviceRole role) { return role == DeviceRole::Stepdeck ? stepdeck : gamepad; }

    const FakeController& byInstance(const Guid& instance) const {
        for (const auto& controller : controllers) {
            if (controller.info.instance.data1 == instance.data1) return controller;
        }
        return controllers.front();
    }

    FakeDevice deck_, pad_;
    std::map<DeviceRole, const FakeController*> created_;
};

}  // namespace hub::testing
