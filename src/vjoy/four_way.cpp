#include "vjoy/four_way.h"

namespace hub {

FeederDatagram fourWayDatagram(std::uint8_t stickXByte, std::uint8_t stickYByte, const RemoteInputs& remote) {
    constexpr int kButtonsByte = 6;
    return underChangeRule(buildFourWayDatagram(stickXByte, stickYByte, remote.axis3.load(), remote.axis4.load(),
                                                remote.buttons.load()),
                           kButtonsByte);
}

}  // namespace hub
