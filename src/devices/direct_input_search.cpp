#include "devices/direct_input_search.h"

#include "devices/direct_input_platform.h"

namespace hub::windows {

DirectInputSearch::~DirectInputSearch() {
    search_.stop();
    if (directInput_ != nullptr) directInput_->Release();
}

HResult DirectInputSearch::enumerate(std::vector<ControllerInfo>& attached) {
    if (directInput_ == nullptr) {
        void* created = nullptr;
        const HRESULT result = DirectInput8Create(module_, DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr);
        if (FAILED(result)) return result;
        directInput_ = static_cast<IDirectInput8W*>(created);
    }
    return enumerateGameControllers(*directInput_, [&attached](const ControllerInfo& controller) {
        attached.push_back(controller);
        return Enumeration::Continue;
    });
}

}  // namespace hub::windows
