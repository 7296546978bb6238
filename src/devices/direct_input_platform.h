// The device set-up's platform over DirectInput 8: two DirectInput objects,
// the Stepdeck and the gamepad devices, and the Plug and Play device ids
// from WMI. It owns every DirectInput object from the set-up until shutdown.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <dinput.h>

#include <memory>

#include "engine/device_setup.h"

namespace hub::windows {

// Offers every attached game controller to choose, in DirectInput's order,
// until it answers Stop: the set-up's and the searches' enumeration.
HResult enumerateGameControllers(IDirectInput8W& directInput, const ControllerChoice& choose);

// One DirectInput device as the tick reads it.
class DirectInputDevice final : public InputDevice {
public:
    explicit DirectInputDevice(IDirectInputDevice8W* device) : device_(device) {}
    DirectInputDevice(const DirectInputDevice&) = delete;
    DirectInputDevice& operator=(const DirectInputDevice&) = delete;
    ~DirectInputDevice() override { device_->Release(); }

    HResult poll() override { return device_->Poll(); }
    HResult acquire() override { return device_->Acquire(); }
    HResult getState(JoystickRecord& out) override;
    IDirectInputDevice8W* get() const { return device_; }

private:
    IDirectInputDevice8W* device_;
};

// Each role holds at most one DirectInput object and one device: creating
// either again (a search for a lost device) first releases what the role
// held, so that repeated searches leave nothing behind.
class DirectInputPlatform final : public DevicePlatform {
public:
    // dialog: the window the cooperative levels are set for.
    DirectInputPlatform(HINSTANCE module, HWND dialog) : module_(module), dialog_(dialog) {}
    DirectInputPlatform(const DirectInputPlatform&) = delete;
    DirectInputPlatform& operator=(const DirectInputPlatform&) = delete;
    ~DirectInputPlatform() override { shutDown(); }

    HResult createDirectInput(DeviceRole role) override;
    HResult enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) override;
    HResult createDevice(DeviceRole role, const Guid& instance) override;
    HResult setJoystickFormat(DeviceRole role) override;
    HResult setCooperativeLevel(DeviceRole role, std::uint32_t flags) override;
    HResult enumerateObjects(DeviceRole role, const ObjectHandler& handle) override;
    HResult setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                         std::int32_t maximum) override;
    // Unacquires the role's device, then releases it.
    void dropDevice(DeviceRole role) override;
    InputDevice* device(DeviceRole role) override { return slot(role).device.get(); }
    HResult forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) override;

    // The dialog's destruction: unacquire both devices, then release the
    // Stepdeck, its DirectInput object, the gamepad and its DirectInput object.
    void shutDown();

private:
    struct Slot {
        IDirectInput8W* directInput = nullptr;
        std::unique_ptr<DirectInputDevice> device;
    };
    Slot& slot(DeviceRole role) { return role == DeviceRole::Stepdeck ? stepdeck_ : gamepad_; }

    HINSTANCE module_;
    HWND dialog_;
    Slot stepdeck_;
    Slot gamepad_;
};

}  // namespace hub::windows
