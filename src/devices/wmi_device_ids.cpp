#include "devices/wmi_device_ids.h"

#include <windows.h>
#include <wbemidl.h>

#include <cwchar>
#include <string>

namespace hub::windows {

namespace {

constexpr LONG kBatchTimeoutMs = 10000;
constexpr ULONG kBatchSize = 20;

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    T* get() const { return pointer_; }
    T** put() { return &pointer_; }
    T* operator->() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value_); }
    BSTR get() const { return value_; }

private:
    BSTR value_;
};

void examineDeviceId(IWbemClassObject& object, const Bstr& property,
                     const std::function<void(std::u16string_view)>& examine) {
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(object.Get(property.get(), 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR &&
        value.bstrVal != nullptr) {
        const wchar_t* id = value.bstrVal;
        const std::u16string wide(id, id + std::wcslen(id));
        examine(wide);
    }
    VariantClear(&value);
}

}  // namespace

HResult listPnpDeviceIds(const std::function<void(std::u16string_view)>& examine) {
    ComRef<IWbemLocator> locator;
    HRESULT result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                      reinterpret_cast<void**>(locator.put()));
    if (FAILED(result)) return result;

    const Bstr wmiNamespace(L"\\\\.\\root\\cimv2");
    const Bstr className(L"Win32_PNPEntity");
    const Bstr property(L"DeviceID");
    if (wmiNamespace.get() == nullptr || className.get() == nullptr || property.get() == nullptr) return E_OUTOFMEMORY;

    ComRef<IWbemServices> services;
    result = locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(result)) return result;
    result = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(result)) return result;

    ComRef<IEnumWbemClassObject> enumerator;
    result = services->CreateInstanceEnum(className.get(), 0, nullptr, enumerator.put());
    if (FAILED(result)) return result;

    // Every non-negative result goes on, including "fewer than asked" and a
    // time-out; an empty batch ends the list.
    for (;;) {
        IWbemClassObject* batch[kBatchSize] = {};
        ULONG delivered = 0;
        result = enumerator->Next(kBatchTimeoutMs, kBatchSize, batch, &delivered);
        for (ULONG i = 0; i < delivered && i < kBatchSize; ++i) {
            if (SUCCEEDED(result)) examineDeviceId(*batch[i], property, examine);
            batch[i]->Release();
        }
        if (FAILED(result) || delivered == 0) break;
    }
    return result;
}

}  // namespace hub::windows
