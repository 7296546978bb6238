#include "links/listener.h"

#include <array>

namespace hub {

void runListener(DatagramReceiver& receiver, DatagramQueue& received) {
    std::array<std::uint8_t, wire::kReceiveBufferSize> buffer;
    for (;;) {
        Endpoint from;
        const ReceiveResult result = receiver.receive(buffer.data(), buffer.size(), from);
        switch (result.outcome) {
            case ReceiveResult::Outcome::Datagram:
                received.push({buffer.data(), result.length}, from);
                break;
            case ReceiveResult::Outcome::TooLong:
            case ReceiveResult::Outcome::ConnectionReset: break;
            case ReceiveResult::Outcome::SocketFailed: return;
        }
    }
}

}  // namespace hub
