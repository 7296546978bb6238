#include "engine/device_setup.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/controls.h"
#include "engine/hub.h"
#include "engine/xinput_filter.h"
#include "links/feeder_link.h"

namespace hub {

namespace {

constexpr std::uint16_t kUsageJoystick = 4;
constexpr std::uint16_t kUsageGamePad = 5;

// The last eight bytes of a HID product GUID: two zero bytes, then "PIDVID".
constexpr std::array<std::uint8_t, 8> kHidProductTail{0x00, 0x00, 0x50, 0x49, 0x44, 0x56, 0x49, 0x44};
constexpr std::uint32_t kStepdeckVendorAndProduct = 0x0000FFFF;

struct ControlPair {
    int value;
    int label;
};

// The value display and the label each Stepdeck axis enables.
std::optional<ControlPair> axisControls(ObjectType type) {
    using namespace control;
    switch (type) {
        case ObjectType::XAxis: return ControlPair{kStickXValue, kStickXLabel};
        case ObjectType::YAxis: return ControlPair{kStickYValue, kStickYLabel};
        case ObjectType::ZAxis: return ControlPair{kHeadingRFValue, kHeadingRFLabel};
        case ObjectType::RxAxis: return ControlPair{kTiltRFValue, kTiltRFLabel};
        case ObjectType::RyAxis: return ControlPair{kHeadingLFValue, kHeadingLFLabel};
        case ObjectType::RzAxis: return ControlPair{kTiltLFValue, kTiltLFLabel};
        default: return std::nullopt;
    }
}

// Sliders and points of view enable one pair each, in the order seen; those
// beyond the table enable nothing.
constexpr std::array<ControlPair, 2> kSliderControls{{{control::kSlider0Value, control::kRemoteSteering},
                                                      {control::kSlider1Value, control::kRemoteButtons}}};
constexpr std::array<ControlPair, 4> kPovControls{{{control::kPov0Value, control::kRemoteStatus},
                                                   {control::kPov1Value, control::kThrottleValue},
                                                   {control::kPov2Value, control::kBrakeValue},
                                                   {control::kPov3Value, control::kVjoyModeName}}};

class DeviceSetup {
public:
    DeviceSetup(Hub& hub, DevicePlatform& platform, bool filterXInputDevices)
        : hub_(hub), platform_(platform), filter_(filterXInputDevices) {}

    HResult run() {
        if (const HResult created = platform_.createDirectInput(DeviceRole::Stepdeck); failed(created)) return created;
        if (filter_) platform_.forEachPnpDeviceId([this](std::u16string_view id) { xinputDevices_.examine(id); });

        const HResult enumerated = platform_.enumerateAttachedControllers(
            DeviceRole::Stepdeck, [this](const ControllerInfo& c) { return chooseStepdeck(c); });
        if (failed(enumerated)) return enumerated;

        InputDevice* deck = platform_.device(DeviceRole::Stepdeck);
        if (deck == nullptr) {
            reportMissingStepdeck();
            return kOk;
        }
        if (const HResult configured = configureStepdeck(); failed(configured)) return configured;
        hub_.devices.deck = deck;

        setUpGamepad();
        return kOk;
    }

private:
    bool hiddenAsXInput(const ControllerInfo& controller) const {
        return filter_ && xinputDevices_.contains(controller.product.data1);
    }

    Enumeration chooseStepdeck(const ControllerInfo& controller) {
        if (!isStepdeck(controller) || hiddenAsXInput(controller)) return Enumeration::Continue;
        if (failed(platform_.createDevice(DeviceRole::Stepdeck, controller.instance))) return Enumeration::Continue;
        return Enumeration::Stop;
    }

    Enumeration chooseGamepad(const ControllerInfo& controller) {
        if (hasStepdeckIdentity(controller.product) || hiddenAsXInput(controller)) return Enumeration::Continue;
        if (controller.name.starts_with("vJoy")) return Enumeration::Continue;  // a virtual joystick, maybe our own feeder's
        if (failed(platform_.createDevice(DeviceRole::Gamepad, controller.instance))) return Enumeration::Continue;
        hub_.devices.gamepadName = controller.name;
        return Enumeration::Stop;
    }

    void reportMissingStepdeck() {
        sendStopDatagram(hub_.edges.socket);
        hub_.edges.window.messageBox("Stepdeck not found. The application will now exit.", "VR Stepdeck monitor");
        hub_.edges.window.endDialog(0);
    }

    HResult configureStepdeck() {
        if (const HResult r = platform_.setJoystickFormat(DeviceRole::Stepdeck); failed(r)) return r;
        if (const HResult r = platform_.setCooperativeLevel(DeviceRole::Stepdeck, kExclusiveBackground); failed(r)) return r;
        return platform_.enumerateObjects(DeviceRole::Stepdeck,
                                          [this](const DeviceObject& o) { return handleStepdeckObject(o); });
    }

    // Every axis gets the range the tick expects; a failure leaves this and
    // every later object as it is.
    Enumeration setRange(DeviceRole role, const DeviceObject& object) {
        if (!object.isAxis) return Enumeration::Continue;
        return failed(platform_.setAxisRange(role, object.id, kAxisMinimum, kAxisMaximum)) ? Enumeration::Stop
                                                                                            : Enumeration::Continue;
    }

    Enumeration handleStepdeckObject(const DeviceObject& object) {
        if (setRange(DeviceRole::Stepdeck, object) == Enumeration::Stop) return Enumeration::Stop;
        if (const auto pair = axisControls(object.type)) {
            enable(*pair);
        } else if (object.type == ObjectType::Slider) {
            if (slidersSeen_ < kSliderControls.size()) enable(kSliderControls[slidersSeen_]);
            ++slidersSeen_;
        } else if (object.type == ObjectType::Pov) {
            if (povsSeen_ < kPovControls.size()) enable(kPovControls[povsSeen_]);
            ++povsSeen_;
        }
        return Enumeration::Continue;
    }

    void enable(ControlPair pair) {
        hub_.edges.window.enable(pair.value, true);
        hub_.edges.window.enable(pair.label, true);
    }

    // A missing or unusable gamepad is no error: the hub runs without one.
    void setUpGamepad() {
        if (failed(platform_.createDirectInput(DeviceRole::Gamepad))) return;
        const HResult enumerated = platform_.enumerateAttachedControllers(
            DeviceRole::Gamepad, [this](const ControllerInfo& c) { return chooseGamepad(c); });
        if (failed(enumerated)) return;
        InputDevice* gamepad = platform_.device(DeviceRole::Gamepad);
        if (gamepad == nullptr) return;
        if (failed(configureGamepad())) {
            platform_.dropDevice(DeviceRole::Gamepad);
            hub_.devices.gamepadName.clear();
            return;
        }
        hub_.devices.gamepad = gamepad;
    }

    HResult configureGamepad() {
        if (const HResult r = platform_.setJoystickFormat(DeviceRole::Gamepad); failed(r)) return r;
        if (const HResult r = platform_.setCooperativeLevel(DeviceRole::Gamepad, kNonExclusiveBackground); failed(r)) return r;
        return platform_.enumerateObjects(DeviceRole::Gamepad,
                                          [this](const DeviceObject& o) { return setRange(DeviceRole::Gamepad, o); });
    }

    Hub& hub_;
    DevicePlatform& platform_;
    const bool filter_;
    XInputDeviceList xinputDevices_;
    std::size_t slidersSeen_ = 0;
    std::size_t povsSeen_ = 0;
};

}  // namespace

bool hasStepdeckIdentity(const Guid& product) {
    return product.data1 == kStepdeckVendorAndProduct && product.data2 == 0 && product.data3 == 0 &&
           std::equal(kHidProductTail.begin(), kHidProductTail.end(), product.data4);
}

bool isStepdeck(const ControllerInfo& controller) {
    return hasStepdeckIdentity(controller.product) &&
           (controller.usage == kUsageJoystick || controller.usage == kUsageGamePad);
}

HResult setUpDevices(Hub& hub, DevicePlatform& platform, bool filterXInputDevices) {
    return DeviceSetup(hub, platform, filterXInputDevices).run();
}

}  // namespace hub
