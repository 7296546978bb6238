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

// The set-up at start and the searches for a lost device share the choices
// and the configuration; the set-up offers the controllers as the platform
// enumerates them, a search the candidates it found.
class DeviceSetup {
public:
    DeviceSetup(Devices& devices, DevicePlatform& platform, Window& window)
        : devices_(devices), platform_(platform), window_(window) {}

    // The dialog's set-up. Without a Stepdeck it returns kOk and leaves the
    // deck empty; the caller reports it.
    HResult run(bool filterXInputDevices) {
        devices_.platform = &platform_;
        if (const HResult created = platform_.createDirectInput(DeviceRole::Stepdeck); failed(created)) return created;
        if (filterXInputDevices) {
            XInputDeviceList& list = devices_.xinputDevices.emplace();
            platform_.forEachPnpDeviceId([&list](std::u16string_view id) { list.examine(id); });
        }
        const HResult found = findStepdeck(attachedControllers(DeviceRole::Stepdeck));
        if (failed(found) || devices_.deck == nullptr) return found;
        setUpGamepad();
        return kOk;
    }

    // kOk with the chosen Stepdeck configured in devices.deck, kOk without one
    // when no controller passed the choice, or the code of the call that failed.
    HResult findStepdeck(const ControllerSource& controllers) {
        const HResult enumerated = controllers([this](const ControllerInfo& c) { return offer(DeviceRole::Stepdeck, c); });
        if (failed(enumerated)) return enumerated;
        InputDevice* deck = platform_.device(DeviceRole::Stepdeck);
        if (deck == nullptr) return kOk;
        if (const HResult configured = configureStepdeck(); failed(configured)) return configured;
        devices_.deck = deck;
        return kOk;
    }

    // A missing or unusable gamepad is no error: the hub runs without one.
    void findGamepad(const ControllerSource& controllers) {
        const HResult enumerated = controllers([this](const ControllerInfo& c) { return offer(DeviceRole::Gamepad, c); });
        if (failed(enumerated)) return;
        InputDevice* gamepad = platform_.device(DeviceRole::Gamepad);
        if (gamepad == nullptr) return;
        if (failed(configureGamepad())) {
            platform_.dropDevice(DeviceRole::Gamepad);
            devices_.gamepadName.clear();
            return;
        }
        devices_.gamepad = gamepad;
    }

private:
    ControllerSource attachedControllers(DeviceRole role) {
        return [this, role](const ControllerChoice& choose) { return platform_.enumerateAttachedControllers(role, choose); };
    }

    // The first controller that passes the role's choice and can be created
    // becomes the role's device.
    Enumeration offer(DeviceRole role, const ControllerInfo& controller) {
        const XInputDeviceList* hidden = devices_.xinputDevices ? &*devices_.xinputDevices : nullptr;
        if (!passesChoice(role, controller, hidden)) return Enumeration::Continue;
        if (failed(platform_.createDevice(role, controller.instance))) return Enumeration::Continue;
        if (role == DeviceRole::Gamepad) devices_.gamepadName = controller.name;
        return Enumeration::Stop;
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
        window_.enable(pair.value, true);
        window_.enable(pair.label, true);
    }

    void setUpGamepad() {
        if (failed(platform_.createDirectInput(DeviceRole::Gamepad))) return;
        findGamepad(attachedControllers(DeviceRole::Gamepad));
    }

    HResult configureGamepad() {
        if (const HResult r = platform_.setJoystickFormat(DeviceRole::Gamepad); failed(r)) return r;
        if (const HResult r = platform_.setCooperativeLevel(DeviceRole::Gamepad, kNonExclusiveBackground); failed(r)) return r;
        return platform_.enumerateObjects(DeviceRole::Gamepad,
                                          [this](const DeviceObject& o) { return setRange(DeviceRole::Gamepad, o); });
    }

    Devices& devices_;
    DevicePlatform& platform_;
    Window& window_;
    std::size_t slidersSeen_ = 0;
    std::size_t povsSeen_ = 0;
};

void reportMissingStepdeck(Hub& hub) {
    sendStopDatagram(hub.edges.socket);
    hub.edges.window.messageBox("Stepdeck not found. The application will now exit.", "VR Stepdeck monitor");
    hub.edges.window.endDialog(0);
}

// A search offers the candidates it found, in order.
ControllerSource candidatesOf(const SearchOutcome& outcome) {
    return [&outcome](const ControllerChoice& choose) {
        if (failed(outcome.enumerate)) return outcome.enumerate;
        for (const ControllerInfo& candidate : outcome.candidates) {
            if (choose(candidate) == Enumeration::Stop) break;
        }
        return outcome.enumerate;
    };
}

// The device found is acquired at once, as the dialog's activation does at
// start, so that the next tick reads it. One created but left unconfigured
// is released.
bool acquireFound(Devices& devices, DeviceRole role, InputDevice* found) {
    if (found == nullptr) {
        devices.platform->dropDevice(role);
        return false;
    }
    found->acquire();
    return true;
}

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
    const HResult result = DeviceSetup(hub.devices, platform, hub.edges.window).run(filterXInputDevices);
    if (!failed(result) && hub.devices.deck == nullptr) reportMissingStepdeck(hub);
    return result;
}

bool passesChoice(DeviceRole role, const ControllerInfo& controller, const XInputDeviceList* hidden) {
    if (hidden != nullptr && hidden->contains(controller.product.data1)) return false;
    if (role == DeviceRole::Stepdeck) return isStepdeck(controller);
    // Any usage: a second Stepdeck is never the gamepad. A virtual joystick
    // may be our own feeder's.
    return !hasStepdeckIdentity(controller.product) && !controller.name.starts_with("vJoy");
}

SearchOutcome listCandidates(DeviceRole role, const XInputDeviceList* hidden, const ControllerSource& source) {
    SearchOutcome outcome;
    outcome.enumerate = source([&](const ControllerInfo& controller) {
        if (passesChoice(role, controller, hidden)) outcome.candidates.push_back(controller);
        return Enumeration::Continue;
    });
    return outcome;
}

void startSearch(Devices& devices, DeviceRole role) {
    (role == DeviceRole::Stepdeck ? devices.deck : devices.gamepad) = nullptr;
    devices.platform->dropDevice(role);
    devices.search->start(role);
}

bool takeSearchOutcome(Devices& devices, DeviceRole role, const SearchOutcome& outcome, Window& window) {
    DeviceSetup setUp(devices, *devices.platform, window);
    if (role == DeviceRole::Stepdeck) {
        setUp.findStepdeck(candidatesOf(outcome));
        return acquireFound(devices, role, devices.deck);
    }
    setUp.findGamepad(candidatesOf(outcome));
    if (!acquireFound(devices, role, devices.gamepad)) return false;
    window.setText(control::kGamepadName, devices.gamepadName);  // maybe another gamepad than before
    return true;
}

}  // namespace hub
