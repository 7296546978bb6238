// hub-wire-facts: prints what the hub's wire header and vJoy mode table say
// about the datagrams as JSON, for the check that the Wireshark dissector
// reads the datagrams the same way (check_wire.py).
#include <cstdio>

#include "links/wire.h"
#include "vjoy/vjoy_modes.h"

namespace {

const char* encodingName(hub::wire::ByteEncoding encoding) {
    using hub::wire::ByteEncoding;
    switch (encoding) {
        case ByteEncoding::Centred: return "centred";
        case ByteEncoding::Unit: return "unit";
        case ByteEncoding::Offset: return "offset";
        case ByteEncoding::Raw: return "raw";
        case ByteEncoding::Fixed: return "fixed";
    }
    return "";
}

}  // namespace

int main() {
    using namespace hub;
    std::printf("{\"ports\": {\"stick\": %u, \"listen\": %u, \"feeder\": %u, \"xdrv\": %u},\n",
                unsigned{wire::kStickEndpoint.port}, unsigned{wire::kListenPort}, unsigned{wire::kFeederEndpoint.port},
                unsigned{wire::kXdrvEndpoint.port});
    std::printf(" \"modes\": [");
    const char* separator = "";
    for (const VjoyModeRow& mode : vjoyModes()) {
        if (mode.layout == nullptr) continue;
        std::printf("%s\n  {\"id\": %d, \"label\": \"%.*s\", \"fields\": [", separator, static_cast<int>(mode.mode),
                    static_cast<int>(mode.label.size()), mode.label.data());
        const char* fieldSeparator = "";
        for (const wire::JoystickStateField& field : *mode.layout) {
            std::printf("%s[\"%.*s\", \"%s\"]", fieldSeparator, static_cast<int>(field.name.size()), field.name.data(),
                        encodingName(field.encoding));
            fieldSeparator = ", ";
        }
        std::printf("]}");
        separator = ",";
    }
    std::printf("\n]}\n");
    return 0;
}
