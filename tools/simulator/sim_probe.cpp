// sim-probe: lists the game controllers that DirectInput 8 presents and reads
// them the way the hub does (joystick format, background cooperative level,
// range -1000 ... 1000 on every axis, acquire, poll, read; a failed poll
// re-acquires), printing one line per device, per object and per read. Run
// it beside the simulator's dinput8.dll to check a configuration without
// starting the hub.
//
//   sim-probe [READS [INTERVAL_MS]]      (defaults: 1 read, 100 ms apart)
#define DIRECTINPUT_VERSION 0x0800
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <dinput.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Found {
    GUID instance;
    wchar_t name[MAX_PATH];
};

// Names are printed as UTF-8, whatever the console's code page.
std::string utf8(const wchar_t* text) {
    char buffer[4 * MAX_PATH];
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return length > 0 ? std::string(buffer) : std::string();
}

BOOL CALLBACK collectDevice(LPCDIDEVICEINSTANCEW device, LPVOID context) {
    auto* found = static_cast<std::vector<Found>*>(context);
    Found entry{device->guidInstance, {}};
    wcsncpy(entry.name, device->tszProductName, MAX_PATH - 1);
    found->push_back(entry);
    std::printf("device %zu name=\"%s\" product=0x%08lX usage_page=%u usage=%u type=0x%lX\n",
                found->size() - 1, utf8(device->tszProductName).c_str(), device->guidProduct.Data1,
                device->wUsagePage, device->wUsage, device->dwDevType);
    return DIENUM_CONTINUE;
}

BOOL CALLBACK setUpObject(LPCDIDEVICEOBJECTINSTANCEW object, LPVOID context) {
    auto* device = static_cast<IDirectInputDevice8W*>(context);
    HRESULT rangeResult = S_OK;
    if ((object->dwType & DIDFT_AXIS) != 0) {
        DIPROPRANGE range{};
        range.diph.dwSize = sizeof range;
        range.diph.dwHeaderSize = sizeof range.diph;
        range.diph.dwHow = DIPH_BYID;
        range.diph.dwObj = object->dwType;
        range.lMin = -1000;
        range.lMax = 1000;
        rangeResult = device->SetProperty(DIPROP_RANGE, &range.diph);
    }
    std::printf("  object name=\"%s\" id=0x%08lX offset=%lu range_result=0x%08lX\n",
                utf8(object->tszName).c_str(),
                object->dwType, object->dwOfs, static_cast<unsigned long>(rangeResult));
    return DIENUM_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("Lists the game controllers that DirectInput 8 presents and reads them the way the hub does.",
                 "sim-probe");
    int reads = 1;
    int intervalMs = 100;
    app.add_option("READS", reads, "how many times to read every device (1)")->check(CLI::Range(0, 1000000));
    app.add_option("INTERVAL_MS", intervalMs, "milliseconds between two reads (100)")
        ->check(CLI::Range(0, 1000000));
    CLI11_PARSE(app, argc, argv);
    const HWND window = CreateWindowExW(0, L"STATIC", L"sim-probe", 0, 0, 0, 10, 10, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "sim-probe: cannot create a window (is there a display?)\n");
        return 1;
    }
    IDirectInput8W* input = nullptr;
    HRESULT result = DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION,
                                        IID_IDirectInput8W, reinterpret_cast<void**>(&input), nullptr);
    std::printf("DirectInput8Create 0x%08lX\n", static_cast<unsigned long>(result));
    if (FAILED(result)) return 1;
    std::vector<Found> found;
    result = input->EnumDevices(DI8DEVCLASS_GAMECTRL, collectDevice, &found, DIEDFL_ATTACHEDONLY);
    std::printf("EnumDevices 0x%08lX\n", static_cast<unsigned long>(result));
    std::vector<IDirectInputDevice8W*> devices;
    for (std::size_t i = 0; i < found.size(); ++i) {
        IDirectInputDevice8W* device = nullptr;
        result = input->CreateDevice(found[i].instance, &device, nullptr);
        std::printf("device %zu CreateDevice 0x%08lX\n", i, static_cast<unsigned long>(result));
        if (FAILED(result)) continue;
        const HRESULT format = device->SetDataFormat(&c_dfDIJoystick2);
        const HRESULT level = device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
        std::printf("device %zu SetDataFormat 0x%08lX SetCooperativeLevel 0x%08lX\n", i,
                    static_cast<unsigned long>(format), static_cast<unsigned long>(level));
        device->EnumObjects(setUpObject, device, DIDFT_ALL);
        const HRESULT acquired = device->Acquire();
        std::printf("device %zu Acquire 0x%08lX\n", i, static_cast<unsigned long>(acquired));
        devices.push_back(device);
    }
    for (int read = 0; read < reads; ++read) {
        if (read > 0) Sleep(static_cast<DWORD>(intervalMs));
        for (std::size_t i = 0; i < devices.size(); ++i) {
            DIJOYSTATE2 state{};
            const HRESULT polled = devices[i]->Poll();
            if (FAILED(polled)) {
                // Like the hub: a failed poll re-acquires and skips the read.
                std::printf("read %d device %zu poll=0x%08lX acquire=0x%08lX\n", read, i,
                            static_cast<unsigned long>(polled),
                            static_cast<unsigned long>(devices[i]->Acquire()));
                continue;
            }
            const HRESULT got = devices[i]->GetDeviceState(sizeof state, &state);
            unsigned buttons = 0;
            for (int b = 0; b < 32; ++b) buttons |= (state.rgbButtons[b] & 0x80) ? 1u << b : 0u;
            std::printf("read %d device %zu poll=0x%08lX state=0x%08lX x=%ld y=%ld z=%ld rx=%ld "
                        "ry=%ld rz=%ld s0=%ld s1=%ld pov0=%ld buttons=0x%X\n",
                        read, i, static_cast<unsigned long>(polled), static_cast<unsigned long>(got),
                        state.lX, state.lY, state.lZ, state.lRx, state.lRy, state.lRz,
                        state.rglSlider[0], state.rglSlider[1], static_cast<long>(state.rgdwPOV[0]),
                        buttons);
        }
        std::fflush(stdout);
    }
    for (auto* device : devices) {
        device->Unacquire();
        device->Release();
    }
    input->Release();
    return 0;
}
