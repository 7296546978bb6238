#include "devices/direct_input_platform.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <cwchar>
#include <string>

#include "devices/wide_text.h"
#include "devices/wmi_device_ids.h"

namespace hub::windows {

// The tick reads straight into the core's record.
static_assert(sizeof(JoystickRecord) == sizeof(DIJOYSTATE2));
static_assert(offsetof(JoystickRecord, lX) == offsetof(DIJOYSTATE2, lX));
static_assert(offsetof(JoystickRecord, lY) == offsetof(DIJOYSTATE2, lY));
static_assert(offsetof(JoystickRecord, lZ) == offsetof(DIJOYSTATE2, lZ));
static_assert(offsetof(JoystickRecord, lRx) == offsetof(DIJOYSTATE2, lRx));
static_assert(offsetof(JoystickRecord, lRy) == offsetof(DIJOYSTATE2, lRy));
static_assert(offsetof(JoystickRecord, lRz) == offsetof(DIJOYSTATE2, lRz));
static_assert(offsetof(JoystickRecord, rglSlider) == offsetof(DIJOYSTATE2, rglSlider));
static_assert(offsetof(JoystickRecord, rgdwPOV) == offsetof(DIJOYSTATE2, rgdwPOV));
static_assert(offsetof(JoystickRecord, rgbButtons) == offsetof(DIJOYSTATE2, rgbButtons));
static_assert(offsetof(JoystickRecord, lVX) == offsetof(DIJOYSTATE2, lVX));
static_assert(offsetof(JoystickRecord, lAX) == offsetof(DIJOYSTATE2, lAX));
static_assert(offsetof(JoystickRecord, lFX) == offsetof(DIJOYSTATE2, lFX));
static_assert(offsetof(JoystickRecord, rglFSlider) == offsetof(DIJOYSTATE2, rglFSlider));

static_assert(kExclusiveBackground == (DISCL_EXCLUSIVE | DISCL_BACKGROUND));
static_assert(kNonExclusiveBackground == (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND));

namespace {

Guid toGuid(const GUID& guid) {
    Guid result{guid.Data1, guid.Data2, guid.Data3, {}};
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), result.data4);
    return result;
}

GUID toGUID(const Guid& guid) {
    GUID result{guid.data1, guid.data2, guid.data3, {}};
    std::copy(std::begin(guid.data4), std::end(guid.data4), result.Data4);
    return result;
}

ObjectType objectTypeOf(const GUID& type) {
    if (IsEqualGUID(type, GUID_XAxis)) return ObjectType::XAxis;
    if (IsEqualGUID(type, GUID_YAxis)) return ObjectType::YAxis;
    if (IsEqualGUID(type, GUID_ZAxis)) return ObjectType::ZAxis;
    if (IsEqualGUID(type, GUID_RxAxis)) return ObjectType::RxAxis;
    if (IsEqualGUID(type, GUID_RyAxis)) return ObjectType::RyAxis;
    if (IsEqualGUID(type, GUID_RzAxis)) return ObjectType::RzAxis;
    if (IsEqualGUID(type, GUID_Slider)) return ObjectType::Slider;
    if (IsEqualGUID(type, GUID_POV)) return ObjectType::Pov;
    return ObjectType::Other;
}

BOOL toDirectInput(Enumeration next) { return next == Enumeration::Stop ? DIENUM_STOP : DIENUM_CONTINUE; }

BOOL CALLBACK offerController(LPCDIDEVICEINSTANCEW instance, LPVOID context) {
    const auto& choose = *static_cast<const ControllerChoice*>(context);
    ControllerInfo info;
    info.instance = toGuid(instance->guidInstance);
    info.product = toGuid(instance->guidProduct);
    info.usage = instance->wUsage;
    info.name = narrow({instance->tszProductName, wcsnlen(instance->tszProductName, MAX_PATH)});
    return toDirectInput(choose(info));
}

BOOL CALLBACK offerObject(LPCDIDEVICEOBJECTINSTANCEW object, LPVOID context) {
    const auto& handle = *static_cast<const ObjectHandler*>(context);
    return toDirectInput(handle(DeviceObject{objectTypeOf(object->guidType), (object->dwType & DIDFT_AXIS) != 0,
                                             object->dwType}));
}

template <typename T>
void release(T*& object) {
    if (object == nullptr) return;
    object->Release();
    object = nullptr;
}

}  // namespace

HResult enumerateGameControllers(IDirectInput8W& directInput, const ControllerChoice& choose) {
    return directInput.EnumDevices(DI8DEVCLASS_GAMECTRL, offerController, const_cast<ControllerChoice*>(&choose),
                                   DIEDFL_ATTACHEDONLY);
}

HResult DirectInputDevice::getState(JoystickRecord& out) {
    return device_->GetDeviceState(sizeof(DIJOYSTATE2), &out);
}

HResult DirectInputPlatform::createDirectInput(DeviceRole role) {
    dropDevice(role);
    release(slot(role).directInput);
    void* created = nullptr;
    const HRESULT result = DirectInput8Create(module_, DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr);
    if (SUCCEEDED(result)) slot(role).directInput = static_cast<IDirectInput8W*>(created);
    return result;
}

HResult DirectInputPlatform::enumerateAttachedControllers(DeviceRole role, const ControllerChoice& choose) {
    return enumerateGameControllers(*slot(role).directInput, choose);
}

HResult DirectInputPlatform::createDevice(DeviceRole role, const Guid& instance) {
    dropDevice(role);
    IDirectInputDevice8W* created = nullptr;
    const HRESULT result = slot(role).directInput->CreateDevice(toGUID(instance), &created, nullptr);
    if (SUCCEEDED(result)) slot(role).device = std::make_unique<DirectInputDevice>(created);
    return result;
}

HResult DirectInputPlatform::setJoystickFormat(DeviceRole role) {
    return slot(role).device->get()->SetDataFormat(&c_dfDIJoystick2);
}

HResult DirectInputPlatform::setCooperativeLevel(DeviceRole role, std::uint32_t flags) {
    return slot(role).device->get()->SetCooperativeLevel(dialog_, flags);
}

HResult DirectInputPlatform::enumerateObjects(DeviceRole role, const ObjectHandler& handle) {
    return slot(role).device->get()->EnumObjects(offerObject, const_cast<ObjectHandler*>(&handle), DIDFT_ALL);
}

HResult DirectInputPlatform::setAxisRange(DeviceRole role, std::uint32_t objectId, std::int32_t minimum,
                                          std::int32_t maximum) {
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwObj = objectId;
    range.diph.dwHow = DIPH_BYID;
    range.lMin = minimum;
    range.lMax = maximum;
    return slot(role).device->get()->SetProperty(DIPROP_RANGE, &range.diph);
}

void DirectInputPlatform::dropDevice(DeviceRole role) {
    auto& device = slot(role).device;
    if (device) device->get()->Unacquire();
    device.reset();
}

HResult DirectInputPlatform::forEachPnpDeviceId(const std::function<void(std::u16string_view)>& examine) {
    return listPnpDeviceIds(examine);
}

void DirectInputPlatform::shutDown() {
    if (stepdeck_.device) stepdeck_.device->get()->Unacquire();
    if (gamepad_.device) gamepad_.device->get()->Unacquire();
    stepdeck_.device.reset();
    release(stepdeck_.directInput);
    gamepad_.device.reset();
    release(gamepad_.directInput);
}

}  // namespace hub::windows
