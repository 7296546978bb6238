#include "sim_model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace stepdeck_sim {
namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Takes the next line off the text, without its comment and surrounding blanks.
std::string_view takeLine(std::string_view& text) {
    const auto end = text.find('\n');
    auto line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const auto hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    return trim(line);
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t\r\n", at);
        if (at == std::string_view::npos) break;
        auto end = text.find_first_of(" \t\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// Decimal, or hexadecimal after 0x; a leading minus for decimals.
bool parseInt(std::string_view text, std::int64_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out, base);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parseInRange(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& out) {
    return parseInt(text, out) && out >= low && out <= high;
}

struct NamedPoint {
    std::string_view name;
    FailPoint point;
    bool global;
};
constexpr NamedPoint kFailPoints[] = {
    {"create", FailPoint::Create, false},        {"dataformat", FailPoint::DataFormat, false},
    {"cooplevel", FailPoint::CoopLevel, false},  {"enumobjects", FailPoint::EnumObjects, false},
    {"range", FailPoint::Range, false},          {"acquire", FailPoint::Acquire, false},
    {"poll", FailPoint::Poll, false},            {"state", FailPoint::State, false},
    {"directinput", FailPoint::DirectInput, true}, {"enumdevices", FailPoint::EnumDevices, true},
};

// "<point> [N|always|off] [after M]" applied to a device's or the global
// failure points.
bool applyFailure(std::vector<std::string_view> args, bool global,
                  std::array<Failure, kFailPointCount>& failures, std::string& error) {
    if (args.empty()) {
        error = "fail needs a failure point";
        return false;
    }
    const NamedPoint* named = nullptr;
    for (const auto& candidate : kFailPoints) {
        if (candidate.name == args[0]) named = &candidate;
    }
    if (named == nullptr || named->global != global) {
        error = "unknown " + std::string(global ? "global" : "device") + " failure point '" +
                std::string(args[0]) + "'";
        return false;
    }
    Failure failure{0, Failure::kAlways};
    std::size_t at = 1;
    if (at < args.size() && args[at] != "after") {
        if (args[at] == "always") {
            failure.count = Failure::kAlways;
        } else if (args[at] == "off") {
            failure.count = 0;
        } else if (!parseInRange(args[at], 0, 1'000'000'000, failure.count)) {
            error = "bad failure count '" + std::string(args[at]) + "'";
            return false;
        }
        ++at;
    }
    if (at < args.size()) {
        if (args[at] != "after" || at + 2 != args.size() ||
            !parseInRange(args[at + 1], 0, 1'000'000'000, failure.skip)) {
            error = "expected 'after N' at the end";
            return false;
        }
    }
    failures[static_cast<int>(named->point)] = failure;
    return true;
}

bool parseObjects(const std::vector<std::string_view>& names, std::vector<ObjectKind>& out,
                  std::string& error) {
    static constexpr std::pair<std::string_view, ObjectKind> kNames[] = {
        {"x", ObjectKind::X},   {"y", ObjectKind::Y},   {"z", ObjectKind::Z},
        {"rx", ObjectKind::Rx}, {"ry", ObjectKind::Ry}, {"rz", ObjectKind::Rz},
        {"slider", ObjectKind::Slider}, {"pov", ObjectKind::Pov}, {"button", ObjectKind::Button},
    };
    out.clear();
    for (const auto name : names) {
        const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                         [&](const auto& entry) { return entry.first == name; });
        if (found == std::end(kNames)) {
            error = "unknown object '" + std::string(name) + "'";
            return false;
        }
        out.push_back(found->second);
    }
    Device counter;
    counter.objects = out;
    const auto over = [&](ObjectKind kind, int limit) { return counter.count(kind) > limit; };
    if (over(ObjectKind::X, 1) || over(ObjectKind::Y, 1) || over(ObjectKind::Z, 1) ||
        over(ObjectKind::Rx, 1) || over(ObjectKind::Ry, 1) || over(ObjectKind::Rz, 1) ||
        over(ObjectKind::Slider, 2) || over(ObjectKind::Pov, 4) || over(ObjectKind::Button, 128)) {
        error = "too many objects of one kind (one per axis, 2 sliders, 4 POVs, 128 buttons)";
        return false;
    }
    return true;
}

// "name value" pairs of the `set` command (and of a device's `state` line).
bool applyValues(Device& device, const std::vector<std::string_view>& args, std::string& error) {
    if (args.size() % 2 != 0) {
        error = "set needs name value pairs";
        return false;
    }
    static constexpr std::pair<std::string_view, ObjectKind> kAxes[] = {
        {"x", ObjectKind::X},   {"y", ObjectKind::Y},   {"z", ObjectKind::Z},
        {"rx", ObjectKind::Rx}, {"ry", ObjectKind::Ry}, {"rz", ObjectKind::Rz},
    };
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const auto name = args[i];
        const auto valueText = args[i + 1];
        std::int64_t value = 0;
        const auto missing = [&] {
            error = "the device has no '" + std::string(name) + "'";
            return false;
        };
        const auto badValue = [&] {
            error = "bad value '" + std::string(valueText) + "' for " + std::string(name);
            return false;
        };
        const auto* axis = std::find_if(std::begin(kAxes), std::end(kAxes),
                                        [&](const auto& entry) { return entry.first == name; });
        std::int64_t index = 0;
        if (axis != std::end(kAxes)) {
            if (device.count(axis->second) == 0) return missing();
            if (!parseInRange(valueText, -1000, 1000, value)) return badValue();
            device.state.axes[static_cast<std::size_t>(axis - std::begin(kAxes))] =
                static_cast<std::int32_t>(value);
        } else if (name.starts_with("slider") && parseInt(name.substr(6), index)) {
            if (index < 0 || index >= device.count(ObjectKind::Slider)) return missing();
            if (!parseInRange(valueText, -1000, 1000, value)) return badValue();
            device.state.sliders[static_cast<std::size_t>(index)] = static_cast<std::int32_t>(value);
        } else if (name.starts_with("pov") && parseInt(name.substr(3), index)) {
            if (index < 0 || index >= device.count(ObjectKind::Pov)) return missing();
            if (valueText == "centre" || valueText == "center" || valueText == "-1") {
                value = kPovCentred;
            } else if (!parseInRange(valueText, 0, 35999, value)) {
                return badValue();
            }
            device.state.povs[static_cast<std::size_t>(index)] = static_cast<std::uint32_t>(value);
        } else if (name.starts_with("b") && parseInt(name.substr(1), index)) {
            if (index < 0 || index >= device.count(ObjectKind::Button)) return missing();
            if (!parseInRange(valueText, 0, 1, value)) return badValue();
            device.state.buttons[static_cast<std::size_t>(index)] = value == 1;
        } else {
            error = "unknown value name '" + std::string(name) + "'";
            return false;
        }
    }
    return true;
}

bool parseDeviceIndex(const Simulator& sim, std::string_view text, std::size_t& out,
                      std::string& error) {
    std::int64_t index = 0;
    if (!parseInt(text, index) || index < 0 || index >= static_cast<std::int64_t>(sim.devices.size())) {
        error = "no device '" + std::string(text) + "'";
        return false;
    }
    out = static_cast<std::size_t>(index);
    return true;
}

std::string statsText(const Device& device) {
    const DeviceStats& stats = device.stats;
    char text[256];
    std::snprintf(text, sizeof text,
                  "ok created=%u polls=%u reads=%u acquires=%u acquired=%d coop=%u format=%u "
                  "ranges=%u range=%d,%d plugged=%d instance=%u",
                  stats.created, stats.polls, stats.reads, stats.acquires, stats.acquired ? 1 : 0,
                  stats.cooperativeFlags, stats.dataSize, stats.rangesSet, stats.lastRange.min,
                  stats.lastRange.max, device.plugged ? 1 : 0, device.instance);
    return text;
}

// "unplug D" and "plug D [new]".
bool replug(Device& device, const std::vector<std::string_view>& args, std::string& error) {
    const bool plugging = args[0] == "plug";
    if (device.plugged == plugging) {
        error = "device " + std::string(args[1]) + (plugging ? " is plugged in already" : " is unplugged already");
        return false;
    }
    device.plugged = plugging;
    if (plugging) {
        if (args.size() == 3) ++device.instance;
    } else {
        ++device.unplugs;
        device.stats.acquired = false;
    }
    return true;
}

}  // namespace

bool Failure::strike() {
    if (skip > 0) {
        --skip;
        return false;
    }
    if (count == kAlways) return true;
    if (count > 0) {
        --count;
        return true;
    }
    return false;
}

bool isLive(const Device& device, const Handle& handle) {
    return device.plugged && device.instance == handle.instance;
}

Answer acquire(Device& device, Handle& handle) {
    if (!isLive(device, handle)) return Answer::Unplugged;
    if (handle.acquired && handle.unplugsAtAcquire == device.unplugs) return Answer::NoEffect;
    handle.acquired = true;
    handle.unplugsAtAcquire = device.unplugs;
    device.stats.acquired = true;
    return Answer::Ok;
}

Answer unacquire(Device& device, Handle& handle) {
    if (!handle.acquired) return Answer::NoEffect;
    handle.acquired = false;
    // A dead handle no longer speaks for the device, which may be acquired
    // through a handle of its new instance.
    if (isLive(device, handle)) device.stats.acquired = false;
    return Answer::Ok;
}

Answer checkInput(Device& device, Handle& handle) {
    if (!handle.acquired) return Answer::NotAcquired;
    if (handle.unplugsAtAcquire != device.unplugs) {
        handle.acquired = false;
        return Answer::InputLost;
    }
    return Answer::Ok;
}

int Device::count(ObjectKind kind) const {
    return static_cast<int>(std::count(objects.begin(), objects.end(), kind));
}

Simulator defaultSimulator() {
    Simulator sim;
    Device deck;
    deck.objects = {ObjectKind::X,  ObjectKind::Y,  ObjectKind::Z,      ObjectKind::Rx,
                    ObjectKind::Ry, ObjectKind::Rz, ObjectKind::Button, ObjectKind::Button,
                    ObjectKind::Button, ObjectKind::Button};
    sim.devices.push_back(deck);
    return sim;
}

bool parseConfig(std::string_view text, Simulator& out, std::string& error) {
    Simulator sim;
    Device* device = nullptr;
    int lineNumber = 0;
    const auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (!text.empty()) {
        const auto line = takeLine(text);
        ++lineNumber;
        if (line.empty()) continue;
        if (line == "[device]") {
            sim.devices.emplace_back();
            device = &sim.devices.back();
            device->objects = defaultSimulator().devices[0].objects;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) return fail("expected 'key = value' or [device]");
        const auto key = trim(line.substr(0, equals));
        const auto value = trim(line.substr(equals + 1));
        std::int64_t number = 0;
        std::string detail;
        if (key == "fail") {
            if (!applyFailure(words(value), device == nullptr,
                              device == nullptr ? sim.failures : device->failures, detail)) {
                return fail(detail);
            }
        } else if (device == nullptr) {
            if (key == "control_port") {
                if (!parseInRange(value, 0, 65535, number)) return fail("bad port");
                sim.controlPort = static_cast<int>(number);
            } else if (key == "script") {
                sim.scriptPath = std::string(value);
            } else {
                return fail("unknown key '" + std::string(key) + "' before the first [device]");
            }
        } else if (key == "name") {
            device->name = std::string(value);
        } else if (key == "vendor" || key == "product" || key == "usage" || key == "usage_page") {
            if (!parseInRange(value, 0, 0xFFFF, number)) return fail("bad " + std::string(key));
            const auto field = static_cast<std::uint16_t>(number);
            if (key == "vendor") device->vendor = field;
            if (key == "product") device->product = field;
            if (key == "usage") device->usage = field;
            if (key == "usage_page") device->usagePage = field;
        } else if (key == "objects") {
            if (!parseObjects(words(value), device->objects, detail)) return fail(detail);
        } else if (key == "state") {
            if (!applyValues(*device, words(value), detail)) return fail(detail);
        } else {
            return fail("unknown device key '" + std::string(key) + "'");
        }
    }
    out = std::move(sim);
    return true;
}

bool parseScript(std::string_view text, std::vector<ScriptEntry>& out, std::string& error) {
    std::vector<ScriptEntry> script;
    int lineNumber = 0;
    std::uint32_t previous = 0;
    while (!text.empty()) {
        const auto line = takeLine(text);
        ++lineNumber;
        if (line.empty()) continue;
        const auto space = line.find_first_of(" \t");
        std::int64_t atMs = 0;
        if (space == std::string_view::npos ||
            !parseInRange(line.substr(0, space), previous, 0x7FFFFFFF, atMs)) {
            error = "line " + std::to_string(lineNumber) +
                    ": expected '<ms> <command>' with times that never go back";
            return false;
        }
        const auto command = trim(line.substr(space));
        if (command == "loop" && atMs == 0) {
            error = "line " + std::to_string(lineNumber) + ": a loop needs a time after 0";
            return false;
        }
        previous = static_cast<std::uint32_t>(atMs);
        script.push_back({previous, std::string(command)});
    }
    out = std::move(script);
    return true;
}

std::string execute(Simulator& sim, std::string_view command) {
    const auto args = words(command);
    std::string error;
    std::size_t index = 0;
    if (args.empty()) return "error empty command";
    const auto verb = args[0];
    if (verb == "say") return "ok";
    if (verb == "ping") {
        return "ok stepdeck-sim devices=" + std::to_string(sim.devices.size());
    }
    if (verb == "set" && args.size() >= 2) {
        if (parseDeviceIndex(sim, args[1], index, error) &&
            applyValues(sim.devices[index], {args.begin() + 2, args.end()}, error)) {
            return "ok";
        }
    } else if (verb == "reset" && args.size() == 2) {
        if (parseDeviceIndex(sim, args[1], index, error)) {
            sim.devices[index].state = LiveState{};
            return "ok";
        }
    } else if (verb == "fail" && args.size() >= 3) {
        const bool global = args[1] == "global";
        if ((global || parseDeviceIndex(sim, args[1], index, error)) &&
            applyFailure({args.begin() + 2, args.end()}, global,
                         global ? sim.failures : sim.devices[index].failures, error)) {
            return "ok";
        }
    } else if ((verb == "unplug" && args.size() == 2) ||
               (verb == "plug" && (args.size() == 2 || (args.size() == 3 && args[2] == "new")))) {
        if (parseDeviceIndex(sim, args[1], index, error) && replug(sim.devices[index], args, error)) {
            if (sim.devicesChanged != nullptr) sim.devicesChanged();
            return "ok";
        }
    } else if (verb == "delay" && args.size() == 3 && args[1] == "enumerate") {
        std::int64_t delay = 0;
        if (!parseInRange(args[2], 0, 600'000, delay)) return "error bad delay '" + std::string(args[2]) + "'";
        sim.enumerateDelayMs = static_cast<std::uint32_t>(delay);
        return "ok";
    } else if (verb == "stats" && args.size() == 2) {
        if (args[1] == "global") {
            return "ok directinput=" + std::to_string(sim.directInputsCreated) +
                   " enumerations=" + std::to_string(sim.enumerations) +
                   " directinputs_alive=" + std::to_string(sim.directInputsAlive) +
                   " devices_alive=" + std::to_string(sim.devicesAlive);
        }
        if (parseDeviceIndex(sim, args[1], index, error)) return statsText(sim.devices[index]);
    } else {
        error = "unknown command or wrong arguments: " + std::string(trim(command));
    }
    return "error " + error;
}

void runScript(Simulator& sim, std::uint32_t elapsedMs, void (*applied)(const std::string& command)) {
    while (sim.scriptNext < sim.script.size()) {
        const auto& entry = sim.script[sim.scriptNext];
        if (entry.atMs > elapsedMs - sim.scriptOriginMs) return;
        if (entry.command == "loop") {
            sim.scriptOriginMs += entry.atMs;
            sim.scriptNext = 0;
            continue;
        }
        execute(sim, entry.command);
        if (applied != nullptr) applied(entry.command);
        ++sim.scriptNext;
    }
}

std::int32_t scaleToRange(std::int32_t value, AxisRange range) {
    const std::int64_t clamped = std::clamp(value, -1000, 1000);
    const std::int64_t span = static_cast<std::int64_t>(range.max) - range.min;
    // Rounded to the nearest step, halves upwards.
    const std::int64_t offset = ((clamped + 1000) * span * 2 + 2000) / 4000;
    return static_cast<std::int32_t>(range.min + offset);
}

void fillState(const Device& device, const std::vector<AxisRange>& ranges, JoyState2& out) {
    out = JoyState2{};
    std::int32_t* axes[] = {&out.lX, &out.lY, &out.lZ, &out.lRx, &out.lRy, &out.lRz};
    for (auto& pov : out.rgdwPOV) pov = kPovCentred;
    std::size_t sliders = 0, povs = 0, buttons = 0;
    for (std::size_t i = 0; i < device.objects.size(); ++i) {
        const auto kind = device.objects[i];
        const AxisRange range = i < ranges.size() ? ranges[i] : AxisRange{};
        switch (kind) {
        case ObjectKind::Slider:
            out.rglSlider[sliders] = scaleToRange(device.state.sliders[sliders], range);
            ++sliders;
            break;
        case ObjectKind::Pov:
            out.rgdwPOV[povs] = device.state.povs[povs];
            ++povs;
            break;
        case ObjectKind::Button:
            out.rgbButtons[buttons] = device.state.buttons[buttons] ? 0x80 : 0x00;
            ++buttons;
            break;
        default: {
            const auto axis = static_cast<std::size_t>(kind);
            *axes[axis] = scaleToRange(device.state.axes[axis], range);
        }
        }
    }
}

}  // namespace stepdeck_sim
