// The attached game controllers as a replay script's config describes them:
// a Stepdeck with its objects in order and a gamepad with its name, set up by
// the hub's own device set-up.
#pragma once

#include "engine/device_setup.h"
#include "replay_edges.h"
#include "replay_script.h"

namespace hub::replay {

class ConfigDevicePlatform final : public DevicePlatform {
public:
    ConfigDevicePlatform(const ConfigEvent& config, ScriptDevice& deck, ScriptDevice& pad);

    HResult createDirectInput(DeviceRole) override { return kOk; }
    HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) override;
    HResult createDevice(DeviceRole role, const Guid& instance) override;
    HResult setJoystickFormat(DeviceRole) override { return kOk; }
    HResult setCooperativeLevel(DeviceRole, std::uint32_t) override { return kOk; }
    HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) override;
    HResult setAxisRange(DeviceRole, std::uint32_t, std::int32_t, std::int32_t) override { return kOk; }
    void dropDevice(DeviceRole role) override { created(role) = nullptr; }
    InputDevice* device(DeviceRole role) override { return created(role); }
    HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>&) override { return kOk; }

private:
    ScriptDevice*& created(DeviceRole role) { return role == DeviceRole::Stepdeck ? createdDeck_ : createdPad_; }

    std::vector<ControllerInfo> controllers_;
    std::vector<DeviceObject> deckObjects_;
    ScriptDevice& deck_;
    ScriptDevice& pad_;
    ScriptDevice* createdDeck_ = nullptr;
    ScriptDevice* createdPad_ = nullptr;
};

}  // namespace hub::replay
