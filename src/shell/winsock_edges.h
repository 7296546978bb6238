// The two UDP sockets of the process over Winsock: the one every datagram is
// sent through, and the listening socket on port 45041 with its thread.
#pragma once

#include <winsock2.h>

#include "base/edges.h"
#include "links/listener.h"

namespace hub::windows {

class WinsockSender final : public DatagramSocket {
public:
    void adopt(SOCKET socket) { socket_ = socket; }
    bool sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) override;

private:
    SOCKET socket_ = INVALID_SOCKET;  // sends fail until a socket is adopted
};

class WinsockReceiver final : public DatagramReceiver {
public:
    explicit WinsockReceiver(SOCKET socket) : socket_(socket) {}
    ReceiveResult receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) override;

private:
    SOCKET socket_;
};

// Starts the listener thread: it binds the socket to port 45041 and applies
// every datagram to the remote state. A failed bind or a failed socket ends
// the process with status 1. The thread is never stopped or joined.
void startListenerThread(SOCKET listenSocket, RemoteState& remote);

}  // namespace hub::windows
