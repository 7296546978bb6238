// The little of the platform that hub-peer needs: UDP sockets on 127.0.0.1,
// waiting on several of them, the clocks and the terminal. One source file
// per platform implements it (POSIX sockets, Winsock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/edges.h"

namespace hub::peer {

class Net {
public:
    Net();
    ~Net();
    Net(const Net&) = delete;
    Net& operator=(const Net&) = delete;

    // A socket bound to 127.0.0.1:port that receives; its index, or nullopt
    // with `error` set.
    std::optional<int> listen(std::uint16_t port, std::string& error);
    // A socket connected to 127.0.0.1:port that sends; because it is
    // connected, a closed port comes back as a Refused event.
    std::optional<int> connect(std::uint16_t port, std::string& error);
    bool send(int socket, std::span<const std::uint8_t> bytes, std::string& error);

    struct Event {
        enum class Kind { Datagram, Timeout, Refused, Failed };
        Kind kind = Kind::Timeout;
        int socket = -1;
        Endpoint from;           // Datagram
        std::size_t length = 0;  // Datagram: bytes in the buffer
        std::string error;       // Refused, Failed
    };
    // Waits at most timeoutMs for one datagram (or one error) on any socket.
    Event wait(int timeoutMs, std::span<std::uint8_t> buffer);

private:
    struct Sockets;
    std::unique_ptr<Sockets> sockets_;
};

std::uint64_t steadyMs();
std::uint64_t localMsOfDay();
// True when standard output is a terminal that understands ANSI escapes
// (on Windows this switches them on).
bool outputIsTerminal();

}  // namespace hub::peer
