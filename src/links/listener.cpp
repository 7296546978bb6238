#include "links/listener.h"

#include <array>

namespace hub {

void runListener(DatagramReceiver& receiver, RemoteState& remote) {
    std::array<std::uint8_t, wire::kReceiveBufferSize> buffer;
    for (;;) {
        buffer.fill(0);
        Endpoint from;
        const ReceiveResult result = receiver.receive(buffer.data(), buffer.size(), from);
        switch (result.outcome) {
            case ReceiveResult::Outcome::Datagram:
                applyRemoteDatagram(remote, buffer.data(), result.length, from);
                break;
            case ReceiveResult::Outcome::TooLong:
            case ReceiveResult::Outcome::ConnectionReset: break;
            case ReceiveResult::Outcome::SocketFailed: return;
        }
    }
}

}  // namespace hub
