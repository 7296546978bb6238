#include "devices/direct_input_search.h"

#include <utility>
#include <vector>

#include "devices/direct_input_platform.h"

namespace hub::windows {

void DirectInputSearch::start(DeviceRole role) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    if (!worker_.joinable()) {
        workerHidden_ = hidden_;
        worker_ = std::thread([this] { work(); });
    }
    requested_[slot(role)] = true;
    finished_[slot(role)].reset();
    wake_.notify_one();
}

std::optional<SearchOutcome> DirectInputSearch::takeFinished(DeviceRole role) {
    std::lock_guard lock(mutex_);
    return std::exchange(finished_[slot(role)], std::nullopt);
}

void DirectInputSearch::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void DirectInputSearch::work() {
    IDirectInput8W* directInput = nullptr;  // created by the first search that can
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || requested_[0] || requested_[1]; });
        if (stopping_) break;
        const std::array<bool, 2> roles = std::exchange(requested_, {});
        lock.unlock();
        search(roles, directInput);
        lock.lock();
    }
    lock.unlock();
    if (directInput != nullptr) directInput->Release();
}

void DirectInputSearch::search(std::array<bool, 2> roles, IDirectInput8W*& directInput) {
    HResult enumerated = kOk;
    std::vector<ControllerInfo> attached;
    if (directInput == nullptr) {
        void* created = nullptr;
        enumerated = DirectInput8Create(module_, DIRECTINPUT_VERSION, IID_IDirectInput8W, &created, nullptr);
        if (!failed(enumerated)) directInput = static_cast<IDirectInput8W*>(created);
    }
    if (directInput != nullptr) {
        enumerated = enumerateGameControllers(*directInput, [&attached](const ControllerInfo& controller) {
            attached.push_back(controller);
            return Enumeration::Continue;
        });
    }
    const ControllerSource listed = [&](const ControllerChoice& choose) {
        for (const ControllerInfo& controller : attached) {
            if (choose(controller) == Enumeration::Stop) break;
        }
        return enumerated;
    };
    const XInputDeviceList* hidden = workerHidden_ ? &*workerHidden_ : nullptr;
    std::lock_guard lock(mutex_);
    for (const DeviceRole role : {DeviceRole::Stepdeck, DeviceRole::Gamepad}) {
        if (roles[slot(role)]) finished_[slot(role)] = listCandidates(role, hidden, listed);
    }
}

}  // namespace hub::windows
