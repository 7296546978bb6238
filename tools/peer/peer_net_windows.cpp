// hub-peer's platform layer on Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "peer_net.h"

namespace hub::peer {

struct Net::Sockets {
    std::vector<SOCKET> handles;

    // Non-blocking, so that a readiness report without a datagram never blocks.
    int keep(SOCKET handle) {
        u_long nonBlocking = 1;
        ioctlsocket(handle, FIONBIO, &nonBlocking);
        handles.push_back(handle);
        return static_cast<int>(handles.size() - 1);
    }
};

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(kLoopback);
    return address;
}

std::string errorText(int code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "Winsock error " + std::to_string(code) : message;
}

std::string failure(const char* what, std::uint16_t port) {
    return std::string(what) + " 127.0.0.1:" + std::to_string(port) + ": " + errorText(WSAGetLastError());
}

}  // namespace

Net::Net() : sockets_(std::make_unique<Sockets>()) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

Net::~Net() {
    for (SOCKET handle : sockets_->handles) closesocket(handle);
    WSACleanup();
}

std::optional<int> Net::listen(std::uint16_t port, std::string& error) {
    const SOCKET handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const sockaddr_in address = loopback(port);
    if (handle == INVALID_SOCKET ||
        ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = failure("cannot bind", port);
        if (handle != INVALID_SOCKET) closesocket(handle);
        return std::nullopt;
    }
    return sockets_->keep(handle);
}

std::optional<int> Net::connect(std::uint16_t port, std::string& error) {
    const SOCKET handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const sockaddr_in address = loopback(port);
    if (handle == INVALID_SOCKET ||
        ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = failure("cannot reach", port);
        if (handle != INVALID_SOCKET) closesocket(handle);
        return std::nullopt;
    }
    return sockets_->keep(handle);
}

bool Net::send(int socket, std::span<const std::uint8_t> bytes, std::string& error) {
    const SOCKET handle = sockets_->handles[static_cast<std::size_t>(socket)];
    if (::send(handle, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0) !=
        SOCKET_ERROR) {
        return true;
    }
    error = errorText(WSAGetLastError());
    return false;
}

namespace {

Net::Event errorEvent(std::size_t socket, int code) {
    Net::Event event;
    event.socket = static_cast<int>(socket);
    event.kind = code == WSAECONNRESET || code == WSAECONNREFUSED ? Net::Event::Kind::Refused
                                                                  : Net::Event::Kind::Failed;
    event.error = errorText(code);
    return event;
}

}  // namespace

Net::Event Net::wait(int timeoutMs, std::span<std::uint8_t> buffer) {
    std::vector<WSAPOLLFD> polled;
    for (SOCKET handle : sockets_->handles) polled.push_back({handle, POLLRDNORM, 0});
    Event event;
    const int ready = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs);
    if (ready == SOCKET_ERROR) return {Event::Kind::Failed, -1, {}, 0, errorText(WSAGetLastError())};
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].revents == 0) continue;
        if (polled[i].revents & (POLLERR | POLLHUP)) {  // a refusal may come this way alone
            int code = 0;
            int size = sizeof code;
            getsockopt(polled[i].fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
            if (code != 0) return errorEvent(i, code);
        }
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int length = ::recvfrom(polled[i].fd, reinterpret_cast<char*>(buffer.data()),
                                      static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&from),
                                      &fromLength);
        const int code = length == SOCKET_ERROR ? WSAGetLastError() : 0;
        if (code == WSAEWOULDBLOCK) continue;  // readiness without a datagram
        if (code != 0 && code != WSAEMSGSIZE) return errorEvent(i, code);
        event.kind = Event::Kind::Datagram;  // a longer datagram shows what fits
        event.socket = static_cast<int>(i);
        event.from = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        event.length = code == WSAEMSGSIZE ? buffer.size() : static_cast<std::size_t>(length);
        return event;
    }
    return event;
}

std::uint64_t steadyMs() { return GetTickCount64(); }

std::uint64_t localMsOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ((static_cast<std::uint64_t>(now.wHour) * 60 + now.wMinute) * 60 + now.wSecond) * 1000 +
           now.wMilliseconds;
}

bool outputIsTerminal() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) return false;
    return SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace hub::peer
