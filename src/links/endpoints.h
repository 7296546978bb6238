// The fixed local endpoints of the hub's datagrams and the port it listens on.
#pragma once

#include <cstdint>

#include "engine/edges.h"

namespace hub {

inline constexpr Endpoint kJoystickEndpoint{kLoopback, 45040};  // stick datagram
inline constexpr Endpoint kXdrvEndpoint{kLoopback, 45045};      // XDRV datagram
inline constexpr Endpoint kFeederEndpoint{kLoopback, 45042};    // the feeder
inline constexpr std::uint16_t kListenPort = 45041;             // remote app, registrations, feeder enable

}  // namespace hub
