// IDirectInput8W and IDirectInputDevice8W over the simulated devices, and the
// exports of dinput8.dll. Each method checks its arguments the way DirectInput
// does where a program could get them wrong, applies the injected failures and
// records what the program did (the `stats` command shows it).
#define DIRECTINPUT_VERSION 0x0800
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <dinput.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "sim_runtime.h"

namespace stepdeck_sim {
namespace {

constexpr HRESULT kInjectedFailure = DIERR_GENERIC;

std::wstring widen(const std::string& utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

void copyName(WCHAR (&target)[MAX_PATH], const std::wstring& name) {
    const std::size_t count = name.size() < MAX_PATH - 1 ? name.size() : MAX_PATH - 1;
    std::memcpy(target, name.data(), count * sizeof(WCHAR));
    target[count] = L'\0';
}

// Each device plugged back as a new instance gets a GUID of its own.
GUID instanceGuid(std::size_t index, std::uint32_t instance) {
    return {0x5D3E7000u + static_cast<unsigned long>(index), static_cast<unsigned short>(0x5EC4 + instance),
            0x11EF, {0x80, 0x00, 'S', 'T', 'E', 'P', 'S', 'M'}};
}

HRESULT toResult(Answer answer) {
    switch (answer) {
    case Answer::Ok: return DI_OK;
    case Answer::NoEffect: return DI_NOEFFECT;
    case Answer::InputLost: return DIERR_INPUTLOST;
    case Answer::NotAcquired: return DIERR_NOTACQUIRED;
    case Answer::Unplugged: return DIERR_UNPLUGGED;
    }
    return DIERR_GENERIC;
}

// How DirectInput names a HID product: product id * 65536 + vendor id, then
// "PIDVID" in the last six bytes.
GUID productGuid(const Device& device) {
    return {(static_cast<unsigned long>(device.product) << 16) | device.vendor, 0, 0,
            {0x00, 0x00, 'P', 'I', 'D', 'V', 'I', 'D'}};
}

DWORD deviceType(const Device& device) {
    switch (device.usage) {
    case 4: return DI8DEVTYPE_JOYSTICK | (DI8DEVTYPEJOYSTICK_STANDARD << 8) | DIDEVTYPE_HID;
    case 5: return DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8) | DIDEVTYPE_HID;
    default: return DI8DEVTYPE_SUPPLEMENTAL | (DI8DEVTYPESUPPLEMENTAL_UNKNOWN << 8) | DIDEVTYPE_HID;
    }
}

void describeDevice(std::size_t index, std::uint32_t instance, DIDEVICEINSTANCEW& out) {
    const Device& device = simulator().devices[index];
    const DWORD size = out.dwSize;
    std::memset(&out, 0, sizeof out);
    out.dwSize = size;
    out.guidInstance = instanceGuid(index, instance);
    out.guidProduct = productGuid(device);
    out.dwDevType = deviceType(device);
    const std::wstring name = widen(device.name);
    copyName(out.tszInstanceName, name);
    copyName(out.tszProductName, name);
    out.wUsagePage = device.usagePage;
    out.wUsage = device.usage;
}

void logScriptCommand(const std::string& command) { logEvent("script: %s", command.c_str()); }

bool isAxis(ObjectKind kind) { return kind != ObjectKind::Pov && kind != ObjectKind::Button; }

// One object as EnumObjects and the property calls see it: DirectInput's
// numbering (axes and sliders share one instance sequence) and the offsets of
// the standard joystick formats.
struct ObjectInfo {
    GUID type;
    DWORD id;
    DWORD offset;
    WORD usagePage, usage;
    std::wstring name;
};

DWORD objectId(DWORD type, int instance) { return type | (static_cast<DWORD>(instance) << 8); }

ObjectInfo describeObject(const Device& device, std::size_t objectIndex) {
    int axes = 0, sliders = 0, povs = 0, buttons = 0;
    for (std::size_t i = 0; i < objectIndex; ++i) {
        const auto kind = device.objects[i];
        if (isAxis(kind)) ++axes;
        if (kind == ObjectKind::Slider) ++sliders;
        if (kind == ObjectKind::Pov) ++povs;
        if (kind == ObjectKind::Button) ++buttons;
    }
    static const GUID* const kAxisTypes[] = {&GUID_XAxis,  &GUID_YAxis,  &GUID_ZAxis,
                                             &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis};
    static const wchar_t* const kAxisNames[] = {L"X Axis",     L"Y Axis",     L"Z Axis",
                                                L"X Rotation", L"Y Rotation", L"Z Rotation"};
    const auto kind = device.objects[objectIndex];
    switch (kind) {
    case ObjectKind::Slider:
        return {GUID_Slider, objectId(DIDFT_ABSAXIS, axes),
                static_cast<DWORD>(DIJOFS_SLIDER(sliders)), 0x01, 0x36, L"Slider"};
    case ObjectKind::Pov:
        return {GUID_POV, objectId(DIDFT_POV, povs), static_cast<DWORD>(DIJOFS_POV(povs)),
                0x01, 0x39, L"Hat Switch"};
    case ObjectKind::Button:
        return {GUID_Button, objectId(DIDFT_PSHBUTTON, buttons),
                static_cast<DWORD>(DIJOFS_BUTTON(buttons)), 0x09, static_cast<WORD>(buttons + 1),
                L"Button " + std::to_wstring(buttons)};
    default: {
        const auto axis = static_cast<std::size_t>(kind);
        return {*kAxisTypes[axis], objectId(DIDFT_ABSAXIS, axes),
                static_cast<DWORD>(axis * sizeof(LONG)), 0x01, static_cast<WORD>(0x30 + axis),
                kAxisNames[axis]};
    }
    }
}

class SimDevice final : public IDirectInputDevice8W {
public:
    // Created under simLock().
    SimDevice(std::size_t index, std::uint32_t instance)
        : index_(index), handle_{instance}, ranges_(device().objects.size()) {
        ++simulator().devicesAlive;
    }

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInputDevice8W)) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --references_;
        if (left == 0) {
            std::lock_guard lock(simLock());
            unacquire(device(), handle_);
            --simulator().devicesAlive;
            logEvent("device %zu released", index_);
            delete this;
        }
        return left;
    }

    STDMETHOD(GetCapabilities)(LPDIDEVCAPS caps) override {
        if (caps == nullptr || caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
        std::lock_guard lock(simLock());
        const Device& simulated = device();
        std::memset(caps, 0, sizeof *caps);
        caps->dwSize = sizeof(DIDEVCAPS);
        caps->dwFlags = isLive(simulated, handle_) ? DIDC_ATTACHED : 0;
        caps->dwDevType = deviceType(simulated);
        for (const auto kind : simulated.objects) {
            if (isAxis(kind)) ++caps->dwAxes;
            if (kind == ObjectKind::Button) ++caps->dwButtons;
            if (kind == ObjectKind::Pov) ++caps->dwPOVs;
        }
        return DI_OK;
    }

    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                           DWORD flags) override {
        if (callback == nullptr) return DIERR_INVALIDPARAM;
        std::lock_guard lock(simLock());
        if (device().strike(FailPoint::EnumObjects)) {
            logEvent("device %zu EnumObjects: injected failure", index_);
            return kInjectedFailure;
        }
        const DWORD wantedTypes = flags & 0xFF;  // DIDFT_ALL (0) is every object
        for (std::size_t i = 0; i < device().objects.size(); ++i) {
            const ObjectInfo info = describeObject(device(), i);
            if (wantedTypes != 0 && (info.id & wantedTypes) == 0) continue;
            DIDEVICEOBJECTINSTANCEW object{};
            object.dwSize = sizeof object;
            object.guidType = info.type;
            object.dwOfs = info.offset;
            object.dwType = info.id;
            object.dwFlags = isAxis(device().objects[i]) ? DIDOI_ASPECTPOSITION : 0;
            copyName(object.tszName, info.name);
            object.wUsagePage = info.usagePage;
            object.wUsage = info.usage;
            if (callback(&object, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    STDMETHOD(GetProperty)(REFGUID property, LPDIPROPHEADER header) override {
        if (!isRangeProperty(property)) return DIERR_UNSUPPORTED;
        if (header == nullptr || header->dwSize != sizeof(DIPROPRANGE) ||
            header->dwHeaderSize != sizeof(DIPROPHEADER)) {
            return DIERR_INVALIDPARAM;
        }
        std::lock_guard lock(simLock());
        const int object = findAxis(header->dwObj, header->dwHow);
        if (object < 0) return DIERR_OBJECTNOTFOUND;
        auto* range = reinterpret_cast<DIPROPRANGE*>(header);
        range->lMin = ranges_[static_cast<std::size_t>(object)].min;
        range->lMax = ranges_[static_cast<std::size_t>(object)].max;
        return DI_OK;
    }

    STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override {
        if (!isRangeProperty(property)) return DIERR_UNSUPPORTED;
        if (header == nullptr || header->dwSize != sizeof(DIPROPRANGE) ||
            header->dwHeaderSize != sizeof(DIPROPHEADER)) {
            return DIERR_INVALIDPARAM;
        }
        const auto* wanted = reinterpret_cast<const DIPROPRANGE*>(header);
        if (wanted->lMin >= wanted->lMax) return DIERR_INVALIDPARAM;
        std::lock_guard lock(simLock());
        Device& simulated = device();
        if (handle_.acquired) return DIERR_ACQUIRED;
        const AxisRange range{wanted->lMin, wanted->lMax};
        if (header->dwHow == DIPH_DEVICE) {
            if (header->dwObj != 0) return DIERR_INVALIDPARAM;
        } else if (findAxis(header->dwObj, header->dwHow) < 0) {
            return DIERR_OBJECTNOTFOUND;
        }
        if (simulated.strike(FailPoint::Range)) {
            logEvent("device %zu SetProperty(range) object %lu: injected failure", index_,
                     header->dwObj);
            return kInjectedFailure;
        }
        for (std::size_t i = 0; i < simulated.objects.size(); ++i) {
            if (!isAxis(simulated.objects[i])) continue;
            if (header->dwHow == DIPH_DEVICE ||
                findAxis(header->dwObj, header->dwHow) == static_cast<int>(i)) {
                ranges_[i] = range;
            }
        }
        ++simulated.stats.rangesSet;
        simulated.stats.lastRange = range;
        return DI_OK;
    }

    STDMETHOD(Acquire)() override {
        std::lock_guard lock(simLock());
        Device& simulated = device();
        ++simulated.stats.acquires;
        if (dataSize_ == 0) return DIERR_INVALIDPARAM;
        if (simulated.strike(FailPoint::Acquire)) return DIERR_INPUTLOST;
        const Answer answer = acquire(simulated, handle_);
        if (answer == Answer::Ok) logEvent("device %zu acquired", index_);
        return toResult(answer);
    }

    STDMETHOD(Unacquire)() override {
        std::lock_guard lock(simLock());
        const Answer answer = unacquire(device(), handle_);
        if (answer == Answer::Ok) logEvent("device %zu unacquired", index_);
        return toResult(answer);
    }

    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        std::lock_guard lock(simLock());
        Device& simulated = device();
        ++simulated.stats.reads;
        if (data == nullptr || size != dataSize_) return DIERR_INVALIDPARAM;
        runScript(simulator(), elapsedMs(), logScriptCommand);
        if (const Answer answer = checkInput(simulated, handle_); answer != Answer::Ok) {
            return toResult(answer);
        }
        if (simulated.strike(FailPoint::State)) {
            unacquire(simulated, handle_);
            return DIERR_INPUTLOST;
        }
        JoyState2 state;
        fillState(device(), ranges_, state);
        std::memcpy(data, &state, size);
        return DI_OK;
    }

    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
        if (format == nullptr || format->dwSize != sizeof(DIDATAFORMAT)) return DIERR_INVALIDPARAM;
        // The two standard joystick formats: DIJOYSTATE is DIJOYSTATE2's first 80 bytes.
        if (format->dwDataSize != sizeof(DIJOYSTATE2) && format->dwDataSize != sizeof(DIJOYSTATE)) {
            return DIERR_INVALIDPARAM;
        }
        std::lock_guard lock(simLock());
        Device& simulated = device();
        if (handle_.acquired) return DIERR_ACQUIRED;
        if (simulated.strike(FailPoint::DataFormat)) {
            logEvent("device %zu SetDataFormat: injected failure", index_);
            return kInjectedFailure;
        }
        dataSize_ = format->dwDataSize;
        simulated.stats.dataSize = dataSize_;
        return DI_OK;
    }

    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override {
        const DWORD exclusivity = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
        const DWORD focus = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
        if (exclusivity == 0 || exclusivity == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE) || focus == 0 ||
            focus == (DISCL_FOREGROUND | DISCL_BACKGROUND) || !IsWindow(window)) {
            return DIERR_INVALIDPARAM;
        }
        std::lock_guard lock(simLock());
        Device& simulated = device();
        if (handle_.acquired) return DIERR_ACQUIRED;
        if (simulated.strike(FailPoint::CoopLevel)) {
            logEvent("device %zu SetCooperativeLevel: injected failure", index_);
            return kInjectedFailure;
        }
        simulated.stats.cooperativeFlags = flags;
        return DI_OK;
    }

    STDMETHOD(Poll)() override {
        std::lock_guard lock(simLock());
        Device& simulated = device();
        ++simulated.stats.polls;
        // First, so that a scripted unplug or plug takes effect while the device is lost.
        runScript(simulator(), elapsedMs(), logScriptCommand);
        if (simulated.strike(FailPoint::Poll)) {
            unacquire(simulated, handle_);
            return DIERR_INPUTLOST;
        }
        return toResult(checkInput(simulated, handle_));
    }

    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEW info) override {
        if (info == nullptr || info->dwSize != sizeof(DIDEVICEINSTANCEW)) return DIERR_INVALIDPARAM;
        std::lock_guard lock(simLock());
        describeDevice(index_, handle_.instance, *info);
        return DI_OK;
    }

    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEW, DWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SetEventNotification)(HANDLE) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(CreateEffect)(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKW, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOW, REFGUID) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(EnumEffectsInFile)(LPCWSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(WriteEffectToFile)(LPCWSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERW) override { return DIERR_UNSUPPORTED; }

private:
    Device& device() const { return simulator().devices[index_]; }

    static bool isRangeProperty(REFGUID property) {
        // DIPROP_RANGE is the small number 4 cast to a GUID reference.
        return reinterpret_cast<std::uintptr_t>(&property) ==
               reinterpret_cast<std::uintptr_t>(&DIPROP_RANGE);
    }

    // The index of the axis or slider object addressed by id or offset, or -1.
    int findAxis(DWORD object, DWORD how) const {
        const Device& simulated = device();
        for (std::size_t i = 0; i < simulated.objects.size(); ++i) {
            if (!isAxis(simulated.objects[i])) continue;
            const ObjectInfo info = describeObject(simulated, i);
            const bool byId = how == DIPH_BYID && (object & 0x00FFFF00) == (info.id & 0x00FFFF00) &&
                              (object & DIDFT_AXIS) != 0;
            const bool byOffset = how == DIPH_BYOFFSET && dataSize_ != 0 && object == info.offset;
            if (byId || byOffset) return static_cast<int>(i);
        }
        return -1;
    }

    std::size_t index_;
    Handle handle_;
    std::vector<AxisRange> ranges_;
    DWORD dataSize_ = 0;
    std::atomic<ULONG> references_{1};
};

class SimDirectInput final : public IDirectInput8W {
public:
    // Created under simLock().
    SimDirectInput() { ++simulator().directInputsAlive; }

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirectInput8W)) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --references_;
        if (left == 0) {
            std::lock_guard lock(simLock());
            --simulator().directInputsAlive;
            delete this;
        }
        return left;
    }

    STDMETHOD(CreateDevice)(REFGUID instance, LPDIRECTINPUTDEVICE8W* out, LPUNKNOWN outer) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return DIERR_NOAGGREGATION;
        std::lock_guard lock(simLock());
        auto& devices = simulator().devices;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (!devices[i].plugged || !IsEqualGUID(instance, instanceGuid(i, devices[i].instance))) continue;
            if (devices[i].strike(FailPoint::Create)) {
                logEvent("CreateDevice %zu: injected failure", i);
                return DIERR_DEVICENOTREG;
            }
            ++devices[i].stats.created;
            logEvent("CreateDevice %zu (%s)", i, devices[i].name.c_str());
            *out = new SimDevice(i, devices[i].instance);
            return DI_OK;
        }
        return DIERR_DEVICENOTREG;
    }

    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                           DWORD flags) override {
        if (callback == nullptr) return DIERR_INVALIDPARAM;
        (void)flags;  // only plugged devices are listed, with or without DIEDFL_ATTACHEDONLY
        std::uint32_t delayMs = 0;
        {
            std::lock_guard lock(simLock());
            delayMs = simulator().enumerateDelayMs;
        }
        // Without holding the simulator: its devices answer the program's
        // other threads meanwhile, as real devices do.
        if (delayMs > 0) Sleep(delayMs);
        std::lock_guard lock(simLock());
        Simulator& sim = simulator();
        ++sim.enumerations;
        if (sim.strike(FailPoint::EnumDevices)) {
            logEvent("EnumDevices: injected failure");
            return kInjectedFailure;
        }
        // Every simulated device is a game controller; asked for one device
        // type, only devices of that type are listed.
        const bool everyController = type == DI8DEVCLASS_ALL || type == DI8DEVCLASS_GAMECTRL;
        for (std::size_t i = 0; i < sim.devices.size(); ++i) {
            if (!sim.devices[i].plugged) continue;
            if (!everyController && type != (deviceType(sim.devices[i]) & 0xFF)) continue;
            DIDEVICEINSTANCEW instance{};
            instance.dwSize = sizeof instance;
            describeDevice(i, sim.devices[i].instance, instance);
            if (callback(&instance, context) == DIENUM_STOP) break;
        }
        return DI_OK;
    }

    STDMETHOD(GetDeviceStatus)(REFGUID instance) override {
        std::lock_guard lock(simLock());
        const auto& devices = simulator().devices;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (IsEqualGUID(instance, instanceGuid(i, devices[i].instance))) {
                return devices[i].plugged ? DI_OK : DI_NOTATTACHED;
            }
        }
        return DIERR_DEVICENOTREG;
    }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return DI_OK; }
    STDMETHOD(FindDevice)(REFGUID, LPCWSTR, LPGUID) override { return DIERR_DEVICENOTREG; }
    STDMETHOD(EnumDevicesBySemantics)(LPCWSTR, LPDIACTIONFORMATW, LPDIENUMDEVICESBYSEMANTICSCBW,
                                      LPVOID, DWORD) override {
        return DIERR_UNSUPPORTED;
    }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSW, DWORD,
                                LPVOID) override {
        return DIERR_UNSUPPORTED;
    }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace
}  // namespace stepdeck_sim

extern "C" {

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer) {
    using namespace stepdeck_sim;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    // Only the wide interface is simulated.
    if (!IsEqualGUID(riid, IID_IDirectInput8W)) return DIERR_NOINTERFACE;
    std::lock_guard lock(simLock());
    if (!ensureLoaded()) return DIERR_GENERIC;
    Simulator& sim = simulator();
    if (sim.strike(FailPoint::DirectInput)) {
        logEvent("DirectInput8Create: injected failure");
        return kInjectedFailure;
    }
    ++sim.directInputsCreated;
    *out = static_cast<IDirectInput8W*>(new SimDirectInput());
    return DI_OK;
}

// The simulator registers no COM classes: it is loaded beside the program.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* out) {
    if (out != nullptr) *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
HRESULT WINAPI DllRegisterServer() { return S_OK; }
HRESULT WINAPI DllUnregisterServer() { return S_OK; }

}  // extern "C"
