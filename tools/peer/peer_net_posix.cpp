// hub-peer's platform layer on POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "peer_net.h"

namespace hub::peer {

struct Net::Sockets {
    std::vector<int> fds;
};

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(kLoopback);
    return address;
}

std::string failure(const char* what, std::uint16_t port) {
    return std::string(what) + " 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
}

}  // namespace

Net::Net() : sockets_(std::make_unique<Sockets>()) {}

Net::~Net() {
    for (int fd : sockets_->fds) ::close(fd);
}

std::optional<int> Net::listen(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = failure("cannot bind", port);
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    sockets_->fds.push_back(fd);
    return static_cast<int>(sockets_->fds.size() - 1);
}

std::optional<int> Net::connect(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in address = loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = failure("cannot reach", port);
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    sockets_->fds.push_back(fd);
    return static_cast<int>(sockets_->fds.size() - 1);
}

bool Net::send(int socket, std::span<const std::uint8_t> bytes, std::string& error) {
    if (::send(sockets_->fds[static_cast<std::size_t>(socket)], bytes.data(), bytes.size(), 0) >= 0) return true;
    error = std::strerror(errno);
    return false;
}

Net::Event Net::wait(int timeoutMs, std::span<std::uint8_t> buffer) {
    std::vector<pollfd> polled;
    for (int fd : sockets_->fds) polled.push_back({fd, POLLIN, 0});
    Event event;
    const int ready = ::poll(polled.data(), polled.size(), timeoutMs);
    if (ready < 0 && errno == EINTR) return event;
    if (ready < 0) return {Event::Kind::Failed, -1, {}, 0, std::strerror(errno)};
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].revents == 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = ::recvfrom(polled[i].fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
        event.socket = static_cast<int>(i);
        if (length < 0) {
            event.kind = errno == ECONNREFUSED ? Event::Kind::Refused : Event::Kind::Failed;
            event.error = std::strerror(errno);
            return event;
        }
        event.kind = Event::Kind::Datagram;
        event.from = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        event.length = std::min(static_cast<std::size_t>(length), buffer.size());
        return event;
    }
    return event;
}

std::uint64_t steadyMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t localMsOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return ((static_cast<std::uint64_t>(local.tm_hour) * 60 + static_cast<std::uint64_t>(local.tm_min)) * 60 +
            static_cast<std::uint64_t>(local.tm_sec)) * 1000 + static_cast<std::uint64_t>(ms);
}

bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace hub::peer
