// "4-way-mov": the locomotion stick with the remote app's two axes and
// buttons, as the feeder's 4-way datagram.
#pragma once

#include <cstdint>

#include "links/feeder_link.h"
#include "links/remote_link.h"

namespace hub {

// 02 01 X Y axis3 axis4 buttons, under the change rule with the buttons
// compared exactly.
FeederDatagram fourWayDatagram(std::uint8_t stickXByte, std::uint8_t stickYByte, const RemoteInputs& remote);

}  // namespace hub
