#include "shell/winsock_edges.h"

#include <windows.h>

#include "links/wire.h"

namespace hub::windows {

namespace {

struct ListenerContext {
    SOCKET socket;
    RemoteState* remote;
};

DWORD WINAPI listenerThread(LPVOID parameter) {
    const ListenerContext& context = *static_cast<const ListenerContext*>(parameter);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(wire::kListenPort);
    if (bind(context.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        ExitProcess(1);
    }
    WinsockReceiver receiver(context.socket);
    runListener(receiver, *context.remote);
    ExitProcess(kListenerFailedStatus);
}

}  // namespace

bool WinsockSender::sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(to.address);
    address.sin_port = htons(to.port);
    return sendto(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address) != SOCKET_ERROR;
}

ReceiveResult WinsockReceiver::receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) {
    sockaddr_in source{};
    int sourceSize = sizeof source;
    const int received = recvfrom(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                                  reinterpret_cast<sockaddr*>(&source), &sourceSize);
    if (received == SOCKET_ERROR) {
        switch (WSAGetLastError()) {
            case WSAEMSGSIZE: return {ReceiveResult::Outcome::TooLong, 0};
            case WSAECONNRESET: return {ReceiveResult::Outcome::ConnectionReset, 0};
            default: return {ReceiveResult::Outcome::SocketFailed, 0};
        }
    }
    from = Endpoint{ntohl(source.sin_addr.s_addr), ntohs(source.sin_port)};
    return {ReceiveResult::Outcome::Datagram, static_cast<std::size_t>(received)};
}

void startListenerThread(SOCKET listenSocket, RemoteState& remote) {
    static ListenerContext context;  // read by the thread for the rest of the process
    context = {listenSocket, &remote};
    // A failed creation surfaces as a remote app that never connects.
    const HANDLE thread = CreateThread(nullptr, 0, listenerThread, &context, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

}  // namespace hub::windows
