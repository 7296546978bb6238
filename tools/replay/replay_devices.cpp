#include "replay_devices.h"

namespace hub::replay {

namespace {

constexpr std::uint32_t kDeckInstance = 1;
constexpr std::uint32_t kPadInstance = 2;

// HID product GUIDs: product id * 65536 + vendor id, then "PIDVID".
Guid hidProduct(std::uint16_t vendor, std::uint16_t product) {
    return Guid{static_cast<std::uint32_t>(product) << 16 | vendor, 0, 0, {0x00, 0x00, 'P', 'I', 'D', 'V', 'I', 'D'}};
}

constexpr std::uint16_t kUsageJoystick = 4;
constexpr std::uint16_t kUsageGamePad = 5;

DeviceObject objectOf(DeckObject object, std::uint32_t id) {
    switch (object) {
        case DeckObject::X: return {ObjectType::XAxis, true, id};
        case DeckObject::Y: return {ObjectType::YAxis, true, id};
        case DeckObject::Z: return {ObjectType::ZAxis, true, id};
        case DeckObject::Rx: return {ObjectType::RxAxis, true, id};
        case DeckObject::Ry: return {ObjectType::RyAxis, true, id};
        case DeckObject::Rz: return {ObjectType::RzAxis, true, id};
        case DeckObject::Slider: return {ObjectType::Slider, true, id};
        case DeckObject::Pov: return {ObjectType::Pov, false, id};
        case DeckObject::Button: break;
    }
    return {ObjectType::Other, false, id};
}

}  // namespace

ConfigDevicePlatform::ConfigDevicePlatform(const ConfigEvent& config, ScriptDevice& deck, ScriptDevice& pad)
    : deck_(deck), pad_(pad) {
    if (config.deck) {
        controllers_.push_back({Guid{kDeckInstance, 0, 0, {}}, hidProduct(0xFFFF, 0x0000), kUsageJoystick, "Stepdeck"});
    }
    if (config.gamepad) {
        controllers_.push_back({Guid{kPadInstance, 0, 0, {}}, hidProduct(0x045E, 0x028E), kUsageGamePad, config.gamepadName});
    }
    std::uint32_t id = 0;
    for (const DeckObject object : config.deckObjects) deckObjects_.push_back(objectOf(object, id++));
}

HResult ConfigDevicePlatform::enumerateAttachedControllers(DeviceRole, const ControllerChoice& choose) {
    for (const ControllerInfo& controller : controllers_) {
        if (choose(controller) == Enumeration::Stop) break;
    }
    return kOk;
}

HResult ConfigDevicePlatform::createDevice(DeviceRole role, const Guid& instance) {
    created(role) = instance.data1 == kDeckInstance ? &deck_ : &pad_;
    return kOk;
}

HResult ConfigDevicePlatform::enumerateObjects(DeviceRole role, const ObjectHandler& handle) {
    if (role == DeviceRole::Gamepad) return kOk;  // the gamepad's objects enable nothing
    for (const DeviceObject& object : deckObjects_) {
        if (handle(object) == Enumeration::Stop) break;
    }
    return kOk;
}

}  // namespace hub::replay
