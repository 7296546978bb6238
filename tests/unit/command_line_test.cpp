// The switch record and the path after it.
#include <gtest/gtest.h>

#include <vector>

#include "engine/command_line.h"

namespace hub {
namespace {

using Arguments = std::vector<std::u16string_view>;

std::optional<std::u16string_view> pathOf(const Arguments& arguments) { return recordPathArgument(arguments); }

// A looser match (a prefix, a second dash, a longer name) would take an
// argument meant for something else as the switch.
TEST(RecordSwitch, EitherPrefixAnyCaseAndNothingMore) {
    for (std::u16string_view yes : {u"-record", u"/RECORD", u"-ReCoRd"}) {
        EXPECT_EQ(pathOf({u"hub.exe", yes, u"s.jsonl"}), u"s.jsonl") << "switch not seen";
    }
    for (std::u16string_view no : {u"record", u"--record", u"-records", u"-record=s.jsonl", u"-recor", u"+record",
                                   u"-r\u0435cord"}) {  // the last one with a Cyrillic e
        EXPECT_EQ(pathOf({u"hub.exe", no, u"s.jsonl"}), std::nullopt) << "taken as the switch";
    }
}

// The path is one argument whatever it holds: the platform's splitting has
// already removed the quotes around blanks; nothing may cut or fold it.
TEST(RecordSwitch, ThePathIsTheNextArgumentAsItIs) {
    EXPECT_EQ(pathOf({u"hub.exe", u"-noxinput", u"-record", u"C:\\Mes essais\\séance ü.jsonl", u"x"}),
              u"C:\\Mes essais\\séance ü.jsonl");
    EXPECT_EQ(pathOf({u"hub.exe", u"-record", u"-noxinput"}), u"-noxinput");
}

TEST(RecordSwitch, TheFirstSwitchCountsAndTheProgramIsNeverExamined) {
    EXPECT_EQ(pathOf({u"hub.exe", u"-record", u"a", u"/record", u"b"}), u"a");
    EXPECT_EQ(pathOf({u"-record", u"a"}), std::nullopt);
    EXPECT_EQ(pathOf({}), std::nullopt);
    EXPECT_EQ(pathOf({u"hub.exe"}), std::nullopt);
}

// A switch with nothing after it is not the same as no switch: the user
// asked for a recording and must hear that there is none.
TEST(RecordSwitch, NothingAfterTheSwitchIsAnEmptyPath) {
    EXPECT_EQ(pathOf({u"hub.exe", u"-record"}), u"");
    EXPECT_EQ(pathOf({u"hub.exe", u"-record", u""}), u"");
}

}  // namespace
}  // namespace hub
