// The texts the hub reads from the system at start-up: Plug and Play device
// ids (the XInput filter scans them for "IG_", "VID_" and "PID_"), command
// line arguments (the switch noxinput) and the program's own path (the feeder
// is found beside it). Any text: no read outside it, no crash, and the answers
// keep their promises.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dialog.h"
#include "engine/xinput_filter.h"

namespace {

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // UTF-16 units in a buffer of exactly their length.
    std::vector<char16_t> units(size / 2);
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    const std::u16string_view text(units.data(), units.size());

    if (hub::isNoXInputSwitch(text)) require(text.size() == 9, "the switch is nine units long");
    if (const auto product = hub::xinputProductOf(text)) {
        require(text.find(u"IG_") != std::u16string_view::npos, "only an id with IG_ is an XInput device");
    }
    hub::XInputDeviceList list;
    list.examine(text);

    const std::string path(reinterpret_cast<const char*>(data), size);
    if (const auto feeder = hub::feederPathFor(path)) {
        require(feeder->ends_with("feeder\\vJoyFeeder.exe"), "the feeder lies in the program's folder");
        require(hub::utf16Length(*feeder) <= 259, "the feeder's path fits the platform's limit");
    }
    return 0;
}
