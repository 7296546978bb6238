#include "printer.h"

#include "engine/recording_lines.h"

namespace hub::replay {

namespace {

void putJsonString(std::FILE* out, std::string_view value) {
    hub::putJsonString(value, [out](char c) { std::fputc(c, out); });
}

}  // namespace

std::string endpointText(const Endpoint& endpoint) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", endpoint.address >> 24, (endpoint.address >> 16) & 0xFF,
                  (endpoint.address >> 8) & 0xFF, endpoint.address & 0xFF, endpoint.port);
    return text;
}

void Printer::tick(std::uint64_t t) {
    std::fprintf(out_, "{\"tick\": %llu}\n", static_cast<unsigned long long>(t));
}

void Printer::onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    std::fprintf(out_, "{\"send\": {\"to\": \"%s\", \"hex\": \"", endpointText(to).c_str());
    for (const std::uint8_t byte : bytes) std::fprintf(out_, "%02x", byte);
    std::fputs("\"}}\n", out_);
}

void Printer::onText(int id, std::string_view value) {
    std::fprintf(out_, "{\"text\": {\"id\": %d, \"value\": ", id);
    putJsonString(out_, value);
    std::fputs("}}\n", out_);
}

void Printer::onEnable(int id, bool value) {
    std::fprintf(out_, "{\"enable\": {\"id\": %d, \"value\": %s}}\n", id, value ? "true" : "false");
}

void Printer::onMessageBox(std::string_view text, std::string_view caption) {
    std::fputs("{\"msgbox\": {\"text\": ", out_);
    putJsonString(out_, text);
    std::fputs(", \"caption\": ", out_);
    putJsonString(out_, caption);
    std::fputs("}}\n", out_);
}

void Printer::onLaunch(std::string_view program) {
    std::fputs("{\"launch\": ", out_);
    putJsonString(out_, program);
    std::fputs("}\n", out_);
}

void Printer::onEndDialog(int result) { std::fprintf(out_, "{\"end\": %d}\n", result); }

void Printer::exit(int status) {
    std::fprintf(out_, "{\"exit\": %d}\n", status);
    std::fflush(out_);
}

}  // namespace hub::replay
