#include "engine/background_search.h"

#include <utility>

namespace hub {

void BackgroundSearch::start(DeviceRole role) {
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

std::optional<SearchOutcome> BackgroundSearch::takeFinished(DeviceRole role) {
    std::lock_guard lock(mutex_);
    return std::exchange(finished_[slot(role)], std::nullopt);
}

void BackgroundSearch::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void BackgroundSearch::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || requested_[0] || requested_[1]; });
        if (stopping_) return;
        const std::array<bool, 2> roles = std::exchange(requested_, {});
        lock.unlock();
        search(roles);
        lock.lock();
    }
}

void BackgroundSearch::search(std::array<bool, 2> roles) {
    std::vector<ControllerInfo> attached;
    const HResult enumerated = enumerate_(attached);
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

}  // namespace hub
