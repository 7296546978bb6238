// The replay script reader on any line: it must never crash, throw or read
// out of bounds, and a line it rejects must say why.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "replay_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const hub::replay::ParseResult parsed = hub::replay::parseLine(line);
    if (!parsed.event && parsed.error.empty()) {
        std::fprintf(stderr, "a rejected line came without a reason\n");
        std::abort();
    }
    return 0;
}
