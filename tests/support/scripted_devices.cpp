#include "scripted_devices.h"

namespace hub::testing {

Guid hidProduct(std::uint16_t vendor, std::uint16_t product) {
    return Guid{static_cast<std::uint32_t>(product) << 16 | vendor, 0, 0, {0x00, 0x00, 'P', 'I', 'D', 'V', 'I', 'D'}};
}

Guid instanceNumber(std::uint32_t n) { return Guid{n, 0, 0, {}}; }

std::vector<DeviceObject> sixAxes() {
    return {{ObjectType::XAxis, true, 1},  {ObjectType::YAxis, true, 2},  {ObjectType::ZAxis, true, 3},
            {ObjectType::RxAxis, true, 4}, {ObjectType::RyAxis, true, 5}, {ObjectType::RzAxis, true, 6}};
}

ScriptedController stepdeckController(std::uint32_t instance, std::uint16_t usage, std::vector<DeviceObject> objects) {
    return {{instanceNumber(instance), hidProduct(0xFFFF, 0x0000), usage, "Stepdeck"}, std::move(objects), 0};
}

ScriptedController gamepadController(std::uint32_t instance, std::string name, std::uint16_t vendor,
                                     std::uint16_t product) {
    return {{instanceNumber(instance), hidProduct(vendor, product), 5, std::move(name)}, sixAxes(), 0};
}

HResult ScriptedDevicePlatform::enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) {
    ++enumerations[role];
    if (failed(results(role).enumerate)) return results(role).enumerate;
    for (const auto& controller : controllers) {
        if (controller.attached && choose(controller.info) == Enumeration::Stop) break;
    }
    return kOk;
}

HResult ScriptedDevicePlatform::createDevice(DeviceRole role, const Guid& instance) {
    const ScriptedController* controller = byInstance(instance);
    if (controller == nullptr || !controller->attached) return -1;
    if (failed(controller->createResult)) return controller->createResult;
    created_[role] = controller;
    createdInstance[role] = instance.data1;
    return kOk;
}

HResult ScriptedDevicePlatform::setCooperativeLevel(DeviceRole role, std::uint32_t flags) {
    cooperativeLevel[role] = flags;
    return results(role).setCooperativeLevel;
}

HResult ScriptedDevicePlatform::enumerateObjects(DeviceRole role, const ObjectHandler& handle) {
    if (failed(results(role).enumerateObjects)) return results(role).enumerateObjects;
    for (const auto& object : created_.at(role)->objects) {
        if (handle(object) == Enumeration::Stop) break;
    }
    return kOk;
}

HResult ScriptedDevicePlatform::setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                                             std::int32_t maximum) {
    if (minimum != kAxisMinimum || maximum != kAxisMaximum) return -1;
    const auto& failures = results(role).setRange;
    if (const auto it = failures.find(objectId); it != failures.end()) return it->second;
    rangesSet.emplace_back(role, objectId);
    return kOk;
}

void ScriptedDevicePlatform::dropDevice(DeviceRole role) {
    created_.erase(role);
    dropped[role] = true;
}

InputDevice* ScriptedDevicePlatform::device(DeviceRole role) {
    if (!created_.contains(role)) return nullptr;
    return role == DeviceRole::Stepdeck ? &deck_ : &pad_;
}

HResult ScriptedDevicePlatform::forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) {
    pnpListed = true;
    for (const auto& id : pnpDeviceIds) examine(id);
    return kOk;
}

const ScriptedController* ScriptedDevicePlatform::byInstance(const Guid& instance) const {
    for (const auto& controller : controllers) {
        if (controller.info.instance.data1 == instance.data1) return &controller;
    }
    return nullptr;
}

void ScriptedDeviceSearch::start(DeviceRole role) {
    pending_[role] = true;
    ++started[role];
}

std::optional<SearchOutcome> ScriptedDeviceSearch::takeFinished(DeviceRole role) {
    if (!pending_[role] || running[role]) return std::nullopt;
    pending_[role] = false;
    return listCandidates(role, hidden_ ? &*hidden_ : nullptr, [&](const ControllerChoice& choose) {
        return platform_.enumerateAttachedControllers(role, choose);
    });
}

}  // namespace hub::testing
