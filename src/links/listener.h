// The listener's receive loop on port 45041, over a receiving-socket edge
// that the platform provides (Winsock on Windows, a POSIX socket in tests).
// It runs on its own thread and only ever writes the remote-app state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/edges.h"
#include "links/remote_link.h"

namespace hub {

// What one receive on the listening socket brought.
struct ReceiveResult {
    enum class Outcome {
        Datagram,         // `length` bytes are in the buffer, the source in `from`
        TooLong,          // a datagram longer than the buffer arrived (and is gone)
        ConnectionReset,  // the platform reported an earlier send as unreachable
        SocketFailed,     // the socket itself no longer works
    };
    Outcome outcome = Outcome::SocketFailed;
    std::size_t length = 0;
};

// The listening socket, already bound to port 45041.
class DatagramReceiver {
public:
    virtual ~DatagramReceiver() = default;
    // Blocks until one datagram or one error arrives.
    virtual ReceiveResult receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) = 0;
};

// The exit status of the process once the listening socket has failed.
inline constexpr int kListenerFailedStatus = 1;

// Receives and applies datagrams until the socket itself fails, then returns;
// the caller ends the process with kListenerFailedStatus. A datagram too long
// for the buffer and a connection-reset report are ignored: no peer can stop
// the hub by what it sends.
void runListener(DatagramReceiver& receiver, RemoteState& remote);

}  // namespace hub
