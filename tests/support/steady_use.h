// A hub in steady use of every input path, and the realistic motion it runs
// on: a Stepdeck and a gamepad attached, the feeder enabled and a remote app
// connected through the listener's decoder. The benchmarks, the allocation
// test and the benchmarks' replay scripts all run exactly this.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "engine/session.h"
#include "scripted_edges.h"

namespace hub::testing {

inline constexpr std::uint64_t kStartMs = 1000;

// Where the remote app and the other peers send from.
inline constexpr Endpoint kPeer{kLoopback, 50123};

// What the peers send before the first tick: the feeder enable, a hello
// (answer to port 50000), a port registration (50500) and inputs at rest.
inline constexpr std::uint8_t kFeederEnable[] = {1, 1};
inline constexpr std::uint8_t kHello[] = {1, 3, 5, 0, 0};
inline constexpr std::uint8_t kRegistration[] = {21, 1, 5, 5, 0};
inline constexpr std::uint8_t kInputsAtRest[] = {32, 128, 0, 0, 0, 128, 128, 0, 0};
inline constexpr std::span<const std::uint8_t> kSetUpDatagrams[] = {kFeederEnable, kHello, kRegistration,
                                                                    kInputsAtRest};

inline constexpr double kTwoPi = 6.28318530717958647692;

// Use of the Stepdeck in an 8 s cycle, so every locomotion mode does its
// real work: standing flat on all four buttons; tilting the right foot
// forward on its toe (the Advanced tracker engages); stepping, one foot
// lifted every half second while the other stands tilted on one button of
// its pair (the tracker walks; the seated modes drive); standing flat again
// (the tracker stops). The stick sways and the feet twist throughout.
inline void moveDeck(JoystickRecord& deck, std::uint64_t now) {
    const double phase = static_cast<double>(now) * 0.001 * kTwoPi;
    deck.lX = static_cast<std::int32_t>(300 * std::sin(phase * 0.3));
    deck.lY = static_cast<std::int32_t>(-600 + 200 * std::sin(phase));
    deck.lZ = static_cast<std::int32_t>(400 * std::sin(phase * 0.5));
    deck.lRy = static_cast<std::int32_t>(-400 * std::sin(phase * 0.5));
    const std::uint64_t inCycle = now % 8000;
    bool pressed[4] = {true, true, true, true};  // buttons 0, 1 left foot; 2, 3 right foot
    deck.lRz = 0;
    deck.lRx = 0;
    if (inCycle >= 1000 && inCycle < 1500) {
        deck.lRz = 180;
        pressed[2] = false;
    } else if (inCycle >= 1500 && inCycle < 7000) {
        const bool leftLifted = ((inCycle - 1500) / 500) % 2 == 0;
        pressed[0] = pressed[1] = !leftLifted;
        pressed[2] = pressed[3] = leftLifted;
        pressed[leftLifted ? 2 : 0] = false;
        deck.lRz = leftLifted ? 150 : 30;
        deck.lRx = leftLifted ? 30 : -150;
    }
    for (int i = 0; i < 4; ++i) deck.rgbButtons[i] = pressed[i] ? 0x80 : 0;
}

// Skating on the same motion: pair A flat, a push on button 3 in the first
// 150 ms of every half second, and both pairs lifted for 300 ms every fourth
// second, which plays a heading gesture.
inline void skateOnDeck(JoystickRecord& deck, std::uint64_t now) {
    const bool lifted = (now / 1000) % 4 == 3 && now % 1000 < 300;
    deck.rgbButtons[0] = deck.rgbButtons[1] = lifted ? 0 : 0x80;
    deck.rgbButtons[2] = 0;
    deck.rgbButtons[3] = !lifted && now % 500 < 150 ? 0x80 : 0;
}

// Pedalling in "Diff. Pedal n Brake": both feet tilted forward, pressing in
// turn, so the pedal crosses the dead band into throttle and into brake by
// degrees.
inline void pedalOnDeck(JoystickRecord& deck, std::uint64_t now) {
    const double phase = static_cast<double>(now) * 0.001 * kTwoPi;
    deck.lRz = static_cast<std::int32_t>(150 + 100 * std::sin(phase * 0.5));
    deck.lRx = static_cast<std::int32_t>(150 - 100 * std::sin(phase * 0.5));
}

// Flying in "Flight Sim": each foot rests on its first button, so the twists
// of the walking motion steer and its tilts work the toe pedals.
inline void flyOnDeck(JoystickRecord& deck) {
    deck.rgbButtons[0] = deck.rgbButtons[2] = 0x80;
    deck.rgbButtons[1] = deck.rgbButtons[3] = 0;
}

// The gamepad's first stick turns like a knob: 135 degrees at full deflection
// in 1.5 s, then let go for 0.5 s. Each turn starts a quarter turn further
// round, so the Flight Sim's throttle, back, hold and spring rotations all
// engage and commit, and every fourth turn the direction changes, so the
// dials go up and down. Its Z axis sweeps and button 0 is pressed every
// other second.
inline void movePad(JoystickRecord& pad, std::uint64_t now) {
    const double phase = static_cast<double>(now) * 0.001 * kTwoPi;
    const std::uint64_t turn = now / 2000;
    const std::uint64_t sinceStart = now % 2000;
    const double reach = sinceStart < 1500 ? 1000.0 : 0.0;
    const double direction = (turn / 4) % 2 == 0 ? 1.0 : -1.0;
    const double angle = static_cast<double>(turn % 4) * kTwoPi / 4.0 +
                         direction * static_cast<double>(sinceStart) * 0.001 * kTwoPi / 4.0;
    pad.lX = static_cast<std::int32_t>(reach * std::cos(angle));
    pad.lY = static_cast<std::int32_t>(reach * std::sin(angle));
    pad.lZ = static_cast<std::int32_t>(800 * std::sin(phase * 0.2));
    pad.rgbButtons[0] = (now / 1000) % 2 == 0 ? 0x80 : 0;
}

// Both devices' records at `now`, as the vJoy mode has the user move.
inline void moveInputs(JoystickRecord& deck, JoystickRecord& pad, VjoyMode mode, std::uint64_t now) {
    moveDeck(deck, now);
    if (mode == VjoyMode::Skate) skateOnDeck(deck, now);
    if (mode == VjoyMode::PedalBrake) pedalOnDeck(deck, now);
    if (mode == VjoyMode::FlightSim) flyOnDeck(deck);
    movePad(pad, now);
}

// The remote app sends its inputs every fourth tick, as a phone app does,
// steering with the gamepad's stick.
inline bool remoteInputsArrive(std::uint64_t now) { return now % 4 == 0; }
inline std::array<std::uint8_t, 9> remoteInputs(const JoystickRecord& pad) {
    const auto steering = static_cast<std::uint8_t>(128 + pad.lX / 10);
    return {32, steering, 0x05, 0, 0, 100, 156, 0, 0};
}

inline constexpr LocomotionMode kLocomotionModes[] = {LocomotionMode::Normal, LocomotionMode::Seated,
                                                      LocomotionMode::Seated2, LocomotionMode::Advanced};

// A hub in steady use, on edges that keep nothing: a tick allocates nothing
// of the edges' own.
struct SteadyHub : ScriptedHub {
    SteadyHub(LocomotionMode locomotionMode, VjoyMode vjoyMode) : ScriptedHub(Attached::StepdeckAndGamepad) {
        keepNothing();
        clock.now = kStartMs;
        hub.state.dialog.locomotionMode = locomotionMode;
        hub.state.dialog.vjoyMode = vjoyMode;
        startUp(hub);
        for (std::span<const std::uint8_t> datagram : kSetUpDatagrams) receive(datagram);
    }

    void receive(std::span<const std::uint8_t> datagram) {
        applyRemoteDatagram(hub.state.remote, datagram.data(), datagram.size(), kPeer);
    }

    // One timer message a period after the last, on the next step of the motion.
    HResult tickOnce() {
        const std::uint64_t now = clock.now + kTickPeriodMs;
        moveInputs(deck.record, pad.record, hub.state.dialog.vjoyMode, now);
        if (remoteInputsArrive(now)) receive(remoteInputs(pad.record));
        return tick(now);
    }
};

}  // namespace hub::testing
