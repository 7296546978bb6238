// The noxinput switch and the scan of Plug and Play device ids.
#include <gtest/gtest.h>

#include <vector>

#include "engine/xinput_filter.h"

namespace hub {
namespace {

TEST(NoXInputSwitch, EitherPrefixAndAnyCaseButExactlyNineCharacters) {
    for (std::u16string_view yes : {u"-noxinput", u"/NoXInput", u"-NOXINPUT"}) EXPECT_TRUE(isNoXInputSwitch(yes));
    for (std::u16string_view no : {u"noxinput", u"--noxinput", u"-noxinputs", u"-noxinput=1", u"-noxinpu", u"+noxinput",
                                   u"", u"-"}) {
        EXPECT_FALSE(isNoXInputSwitch(no));
    }
}

TEST(NoXInputSwitch, CaseFoldingIsAsciiOnly) {
    // U+0130 and U+0131 fold to i/I in some locales; the switch is ASCII.
    EXPECT_FALSE(isNoXInputSwitch(u"-nox\u0131nput"));
    EXPECT_FALSE(isNoXInputSwitch(u"-NOX\u0130NPUT"));
}

TEST(NoXInputSwitch, TheProgramPathIsNeverExaminedAndALaterLongerArgumentKeepsIt) {
    std::vector<std::u16string_view> onlyProgram{u"C:\\x\\-noxinput"};
    EXPECT_FALSE(noXInputSwitchGiven(onlyProgram));
    std::vector<std::u16string_view> thenLonger{u"hub.exe", u"-noxinput", u"-noxinputx"};
    EXPECT_TRUE(noXInputSwitchGiven(thenLonger));
    std::vector<std::u16string_view> none{};
    EXPECT_FALSE(noXInputSwitchGiven(none));
}

TEST(XInputDeviceId, VendorInTheLowHalfProductInTheHigh) {
    EXPECT_EQ(xinputProductOf(u"HID\\VID_1234&PID_ABCD&IG_00\\7&1"), 0xABCD1234u);
    EXPECT_EQ(xinputProductOf(u"HID\\vid_1234&PID_abcd&IG_00"), 0xABCD0000u);  // markers are exact case, digits are not
    // Pins a lower-case digit range that stops short of f.
    EXPECT_EQ(xinputProductOf(u"HID\\VID_045e&PID_02ff&IG_00"), 0x02FF045Eu);
}

TEST(XInputDeviceId, OnlyAnExactCaseIgMarkerMakesAnXInputDevice) {
    EXPECT_EQ(xinputProductOf(u"HID\\VID_1234&PID_ABCD&ig_00"), std::nullopt);
    EXPECT_EQ(xinputProductOf(u"HID\\VID_1234&PID_ABCD"), std::nullopt);
    EXPECT_EQ(xinputProductOf(u"USB\\IG_"), 0u);
}

TEST(XInputDeviceId, TheScanReadsAtMostFourDigitsLikePercent4X) {
    EXPECT_EQ(xinputProductOf(u"VID_12345&PID_6789A&IG_"), 0x67891234u);
    EXPECT_EQ(xinputProductOf(u"VID_&PID_12&IG_"), 0x00120000u);    // no digits: the vendor stays 0
    EXPECT_EQ(xinputProductOf(u"VID_ 12&PID_0x1F&IG_"), 0x001F0012u);  // white space skipped, 0x prefix read
    EXPECT_EQ(xinputProductOf(u"VID_-1&IG_"), 0x0000FFFFu);          // a negative number wraps, kept to 16 bits
}

TEST(XInputDeviceId, OnlyTheFirstOccurrenceOfAMarkerCounts) {
    EXPECT_EQ(xinputProductOf(u"VID_ZZ&VID_1234&IG_"), 0u);
}

TEST(XInputDeviceList, DuplicatesAndOrderDoNotMatterForLookup) {
    XInputDeviceList list;
    list.examine(u"HID\\VID_045E&PID_028E&IG_00\\1");
    list.examine(u"HID\\VID_045E&PID_028E&IG_01\\1");
    list.examine(u"HID\\VID_045E&PID_028E\\not-xinput");
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(list.contains(0x028E045Eu));
    EXPECT_FALSE(list.contains(0x045E028Eu));
}

}  // namespace
}  // namespace hub
