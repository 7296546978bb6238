#include "vjoy/vjoy_modes.h"

#include <algorithm>
#include <array>

#include "vjoy/four_way.h"

namespace hub {

namespace {

using wire::ByteEncoding;

constexpr wire::JoystickStateLayout kSkateLayout{{{"turn", ByteEncoding::Offset},
                                                  {"speed", ByteEncoding::Offset},
                                                  {"pulse3", ByteEncoding::Offset},
                                                  {"pulse4", ByteEncoding::Offset},
                                                  {"zero", ByteEncoding::Fixed},
                                                  {"centre6", ByteEncoding::Fixed},
                                                  {"centre7", ByteEncoding::Fixed}}};
constexpr wire::JoystickStateLayout kPedalLayout{{{"steering", ByteEncoding::Centred},
                                                  {"centre2", ByteEncoding::Fixed},
                                                  {"centre3", ByteEncoding::Fixed},
                                                  {"centre4", ByteEncoding::Fixed},
                                                  {"buttons", ByteEncoding::Raw},
                                                  {"brake", ByteEncoding::Unit},
                                                  {"throttle", ByteEncoding::Unit}}};
constexpr wire::JoystickStateLayout kFlightLayout{{{"springDial", ByteEncoding::Centred},
                                                   {"holdDial", ByteEncoding::Centred},
                                                   {"steering", ByteEncoding::Centred},
                                                   {"throttleDial", ByteEncoding::Unit},
                                                   {"zero", ByteEncoding::Fixed},
                                                   {"leftToePedal", ByteEncoding::Unit},
                                                   {"rightToePedal", ByteEncoding::Unit}}};
constexpr wire::JoystickStateLayout kBikingLayout{{{"steering", ByteEncoding::Centred},
                                                   {"centre2", ByteEncoding::Fixed},
                                                   {"axis3", ByteEncoding::Raw},
                                                   {"axis4", ByteEncoding::Raw},
                                                   {"zero", ByteEncoding::Fixed},
                                                   {"brake", ByteEncoding::Unit},
                                                   {"throttle", ByteEncoding::Unit}}};

using wire::kCentredByte;
constexpr std::array<wire::RestByte, 2> kFourWayRest{{{2, kCentredByte}, {3, kCentredByte}}};  // the stick
constexpr std::array<wire::RestByte, 4> kSkateRest{{{1, kCentredByte}, {2, kCentredByte}, {3, kCentredByte},
                                                    {4, kCentredByte}}};
constexpr std::array<wire::RestByte, 2> kPedalRest{{{6, 0}, {7, 0}}};                       // brake, throttle
constexpr std::array<wire::RestByte, 3> kFlightRest{{{3, kCentredByte}, {6, 0}, {7, 0}}};   // steering, toe pedals
constexpr std::array<wire::RestByte, 3> kBikingRest{{{1, kCentredByte}, {6, 0}, {7, 0}}};   // steering, brake, throttle

constexpr std::array<VjoyModeRow, 5> kModes{{
    {VjoyMode::FourWay, "4-way-mov", "", SensitivityButton::Inactive, false, nullptr, nullptr,
     [](VjoyContext& c) -> std::optional<FeederDatagram> {
         return fourWayDatagram(c.in.stickXByte, c.in.stickYByte, c.remote);
     },
     nullptr, kFourWayRest, nullptr},

    {VjoyMode::Skate, "Skate", "", SensitivityButton::Inactive, false, nullptr, nullptr,
     [](VjoyContext& c) -> std::optional<FeederDatagram> {
         const VjoyInputs& in = c.in;
         advanceSkate(c.state.skate, {in.touchPairA, in.touchPairB, in.feet.tiltLF, in.feet.tiltRF,
                                      in.feet.headingRF, in.now});
         return skateDatagram(c.state.skate);
     },
     &kSkateLayout, kSkateRest, nullptr},

    {VjoyMode::PedalBrake, "Diff. Pedal n Brake", "RH Stick", SensitivityButton::Inactive, false,
     [](VjoyContext& c) { routePedal(c.state.pedal, c.state.throttle, c.state.brake); },
     [](VjoyContext& c) {
         if (c.in.hasGamepad) steerWithGamepad(c.in.gamepadAxisZ, c.remote, c.window);  // else the remote app steers
     },
     [](VjoyContext& c) -> std::optional<FeederDatagram> {
         const auto gamepadButtons = c.in.hasGamepad ? std::optional(c.in.gamepadButtons) : std::nullopt;
         return pedalDatagram(c.remote, gamepadButtons, c.state.throttle, c.state.brake);
     },
     &kPedalLayout, kPedalRest, nullptr},

    {VjoyMode::FlightSim, "Flight Sim", "100%", SensitivityButton::StickSensitivity, false,
     [](VjoyContext& c) {
         const VjoyInputs& in = c.in;
         runFlightSimStage(c.state.flight,
                           {in.now, in.hasGamepad ? in.stick1 : nullptr, in.touchPairA, in.touchPairB, in.feet,
                            in.stickSensitivity},
                           c.state.throttle, c.state.brake, c.window);
     },
     nullptr, [](VjoyContext& c) { return flightSimDatagram(c.state.flight); }, &kFlightLayout, kFlightRest,
     [](VjoyState& state) { flightSimFedAtRest(state.flight); }},

    {VjoyMode::Biking, "Biking", "100%", SensitivityButton::BikingScale, true, nullptr,
     [](VjoyContext& c) {
         const VjoyInputs& in = c.in;
         runBikingStage(c.state.biking, {in.feet.tiltLF, in.feet.tiltRF, in.now, in.bikingScaleFactor}, c.window);
     },
     [](VjoyContext& c) -> std::optional<FeederDatagram> { return bikingDatagram(c.state.biking, c.remote); },
     &kBikingLayout, kBikingRest, nullptr},
}};

}  // namespace

std::span<const VjoyModeRow> vjoyModes() { return kModes; }

const VjoyModeRow& vjoyModeRow(VjoyMode mode) {
    const auto row = std::ranges::find(kModes, mode, &VjoyModeRow::mode);
    return row != kModes.end() ? *row : kModes.front();
}

std::optional<VjoyMode> vjoyModeWithId(int id) {
    const auto row = std::ranges::find(kModes, id, [](const VjoyModeRow& r) { return static_cast<int>(r.mode); });
    if (row == kModes.end()) return std::nullopt;
    return row->mode;
}

VjoyMode nextVjoyMode(VjoyMode mode) {
    const auto row = std::ranges::find(kModes, mode, &VjoyModeRow::mode);
    if (row == kModes.end() || row + 1 == kModes.end()) return kModes.front().mode;
    return (row + 1)->mode;
}

}  // namespace hub
