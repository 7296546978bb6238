// The floor of the hub's CPU use at rest: a dialog of the hub's size with the
// same 33 ms timer that does only what every tick must do, Poll and
// GetDeviceState on the Stepdeck, then the 5-byte stick datagram to
// 127.0.0.1:45040 and the 28-byte XDRV datagram to 127.0.0.1:45045. It writes
// no control. bench/cpu-at-rest.sh runs it beside hub.exe.
#define DIRECTINPUT_VERSION 0x0800
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>
#include <dinput.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr int kTemplate = 1;
constexpr UINT_PTR kTimer = 0;

IDirectInput8W* g_input = nullptr;
IDirectInputDevice8W* g_deck = nullptr;
SOCKET g_socket = INVALID_SOCKET;
sockaddr_in g_stickEndpoint{}, g_xdrvEndpoint{};

sockaddr_in loopback(u_short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

BOOL CALLBACK chooseDeck(LPCDIDEVICEINSTANCEW device, LPVOID) {
    static constexpr BYTE kPidVid[8] = {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'};
    const GUID& product = device->guidProduct;
    if (product.Data1 != 0x0000FFFF || product.Data2 != 0 || product.Data3 != 0 ||
        std::memcmp(product.Data4, kPidVid, 8) != 0 || (device->wUsage != 4 && device->wUsage != 5)) {
        return DIENUM_CONTINUE;
    }
    return SUCCEEDED(g_input->CreateDevice(device->guidInstance, &g_deck, nullptr)) ? DIENUM_STOP
                                                                                     : DIENUM_CONTINUE;
}

BOOL CALLBACK setRange(LPCDIDEVICEOBJECTINSTANCEW object, LPVOID) {
    if ((object->dwType & DIDFT_AXIS) == 0) return DIENUM_CONTINUE;
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof range;
    range.diph.dwHeaderSize = sizeof range.diph;
    range.diph.dwHow = DIPH_BYID;
    range.diph.dwObj = object->dwType;
    range.lMin = -1000;
    range.lMax = 1000;
    return SUCCEEDED(g_deck->SetProperty(DIPROP_RANGE, &range.diph)) ? DIENUM_CONTINUE : DIENUM_STOP;
}

bool setUp(HWND dialog) {
    if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W,
                                  reinterpret_cast<void**>(&g_input), nullptr))) {
        return false;
    }
    g_input->EnumDevices(DI8DEVCLASS_GAMECTRL, chooseDeck, nullptr, DIEDFL_ATTACHEDONLY);
    return g_deck != nullptr && SUCCEEDED(g_deck->SetDataFormat(&c_dfDIJoystick2)) &&
           SUCCEEDED(g_deck->SetCooperativeLevel(dialog, DISCL_EXCLUSIVE | DISCL_BACKGROUND)) &&
           SUCCEEDED(g_deck->EnumObjects(setRange, nullptr, DIDFT_ALL));
}

std::uint8_t stickByte(LONG value) {
    const float scaled = static_cast<float>(value) / 1000.0f * 128.0f + 128.0f;
    return scaled <= 0.0f ? 0 : scaled >= 255.0f ? 255 : static_cast<std::uint8_t>(scaled);
}

void tick() {
    if (FAILED(g_deck->Poll())) {
        g_deck->Acquire();
        return;
    }
    DIJOYSTATE2 state;
    if (FAILED(g_deck->GetDeviceState(sizeof state, &state))) return;
    const char stick[5] = {0x2A, static_cast<char>(stickByte(state.lX)), 0x2B,
                           static_cast<char>(stickByte(state.lY)), 0};
    sendto(g_socket, stick, sizeof stick, 0, reinterpret_cast<const sockaddr*>(&g_stickEndpoint),
           sizeof g_stickEndpoint);
    char xdrv[28] = {'X', 'D', 'R', 'V', 1};
    const float x = static_cast<float>(state.lX) / 1000.0f, y = static_cast<float>(state.lY) / 1000.0f;
    std::memcpy(xdrv + 8, &x, 4);
    std::memcpy(xdrv + 12, &y, 4);
    xdrv[24] = 3;
    sendto(g_socket, xdrv, sizeof xdrv, 0, reinterpret_cast<const sockaddr*>(&g_xdrvEndpoint),
           sizeof g_xdrvEndpoint);
}

INT_PTR CALLBACK floorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (!setUp(dialog)) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        SetTimer(dialog, kTimer, 33, nullptr);
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && g_deck != nullptr) g_deck->Acquire();
        return TRUE;
    case WM_TIMER:
        tick();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kTimer);
        if (g_deck != nullptr) {
            g_deck->Unacquire();
            g_deck->Release();
        }
        if (g_input != nullptr) g_input->Release();
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    g_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    g_stickEndpoint = loopback(45040);
    g_xdrvEndpoint = loopback(45045);
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(kTemplate), nullptr, floorProc, 0);
    return result == 0 ? 0 : 1;
}
