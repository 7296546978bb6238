// hub-peer's text: every field in its place, floats exact, the live view
// redrawn in place.
#include <gtest/gtest.h>

#include <vector>

#include "links/locomotion_datagrams.h"
#include "peer_format.h"

namespace hub::peer {
namespace {

std::string describe(std::vector<std::uint8_t> bytes, int mode = 0) { return describeHubDatagram(bytes, mode); }

TEST(PeerFormat, FloatsPrintShortestAndReadBackExactly) {
    EXPECT_EQ(describeHubDatagram(buildXdrvDatagram(0.6f, -1.05f), 0), "xdrv x=0.6 y=-1.05");
    EXPECT_EQ(floatText(0.9999f), "0.9999");
    EXPECT_EQ(floatText(-0.0f), "-0");
    EXPECT_EQ(std::stof(floatText(0.1f + 0.2f)), 0.1f + 0.2f);
}

TEST(PeerFormat, JoystickStateShowsBytesAndTheChosenModesValues) {
    const std::vector<std::uint8_t> pedal{0x16, 0x01, 0x80, 0x80, 0x80, 0x03, 0x00, 0xFF};
    EXPECT_EQ(describe(pedal), "joystick-state 01 80 80 80 03 00 ff");
    EXPECT_EQ(describe(pedal, 6),
              "joystick-state 01 80 80 80 03 00 ff | steering=-1.000 buttons=3 brake=0.000 throttle=1.000");
    EXPECT_EQ(describe({0x16, 0xC0, 0x00, 0x80, 0xFF, 0x00, 0x80, 0x80}, 5),
              "joystick-state c0 00 80 ff 00 80 80 | turn=0.500 speed=-1.000 pulse3=0.000 pulse4=0.992");
}

TEST(PeerFormat, StatusAndRepliesNameEveryField) {
    EXPECT_EQ(describe({31, 1, 2, 3, 4, 5, 6, 9}),
              "status x=1 y=2 headingRF=3 tiltRF=4 headingLF=5 tiltLF=6 touch=0x9");
    EXPECT_EQ(describe({21, 2, 0, 0, 0}), "query-reply port=none");
    EXPECT_EQ(describe({21, 2, 5, 5, 0}), "query-reply port=50500");
    EXPECT_EQ(describe({1, 2, 3}), "unknown 3 bytes: 01 02 03");
}

TEST(PeerFormat, MessagesToTheHubReadAsTheListenerReadsThem) {
    EXPECT_EQ(describeHubMessage(std::vector<std::uint8_t>{32, 192, 0x05, 0, 0, 200, 7, 0, 0}),
              "inputs steering=0.5 buttons=0x05 axis3=200 axis4=7");
    EXPECT_EQ(describeHubMessage(std::vector<std::uint8_t>{32, 128, 1}), "inputs steering=0 buttons=0x01");
    EXPECT_EQ(describeHubMessage(std::vector<std::uint8_t>{1, 3, 4, 50}), "ignored 4 bytes: 01 03 04 32");
    EXPECT_EQ(describeHubMessage(std::vector<std::uint8_t>{21, 1, 5, 5, 0}), "port-registration port=50500");
}

TEST(PeerFormat, TimeOfDayPadsEveryPart) {
    EXPECT_EQ(timeOfDay(0), "00:00:00.000");
    EXPECT_EQ(timeOfDay(86399999), "23:59:59.999");
    EXPECT_EQ(timeOfDay(3723004), "01:02:03.004");
}

TEST(PeerFormat, LiveViewRedrawsOverItsOwnPreviousFrame) {
    LiveView view("title");
    const std::string first = view.frame(0);
    EXPECT_EQ(first, "title\x1b[K\n  (nothing received yet)\x1b[K\n");
    view.record(45045, "xdrv x=0 y=0.6", 1000);
    view.record(45040, "stick x=128 y=204", 1000);
    view.record(45040, "stick x=128 y=205", 1500);
    const std::string second = view.frame(2000);
    EXPECT_EQ(second,
              "\x1b[2A\rtitle\x1b[K\n"
              "  45040        2     0.5 s ago  stick x=128 y=205\x1b[K\n"
              "  45045        1     1.0 s ago  xdrv x=0 y=0.6\x1b[K\n");
    EXPECT_TRUE(view.frame(2000).starts_with("\x1b[3A\r"));
}

}  // namespace
}  // namespace hub::peer
