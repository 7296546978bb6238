// What the user hears about a recording that cannot start or that ended
// early: a message box with the path and the reason, and a hub that runs on.
#include <gtest/gtest.h>

#include "engine/recording_notices.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedRecordingFile;
using testing::ScriptedWindow;

class FakeRecordingFiles final : public RecordingFiles {
public:
    std::string refusal;  // empty: every path can be created
    std::vector<std::string> created;

    std::unique_ptr<RecordingFile> create(std::string_view path, std::string& whyNot) override {
        if (!refusal.empty()) {
            whyNot = refusal;
            return nullptr;
        }
        created.emplace_back(path);
        return std::make_unique<ScriptedRecordingFile>();
    }
};

TEST(RecordingStart, WithoutTheSwitchNothingIsCreatedOrSaid) {
    FakeRecordingFiles files;
    ScriptedWindow window;
    EXPECT_EQ(openRecordingFile(std::nullopt, files, window), nullptr);
    EXPECT_TRUE(files.created.empty());
    EXPECT_TRUE(window.messageBoxes.empty());
}

TEST(RecordingStart, APathThatCanBeCreatedIsCreatedSilently) {
    FakeRecordingFiles files;
    ScriptedWindow window;
    EXPECT_NE(openRecordingFile("C:\\Temp\\séance 1.jsonl", files, window), nullptr);
    EXPECT_EQ(files.created, std::vector<std::string>{"C:\\Temp\\séance 1.jsonl"});
    EXPECT_TRUE(window.messageBoxes.empty());
}

TEST(RecordingStart, APathThatCannotBeCreatedIsNamedWithTheReasonAndTheHubRunsWithout) {
    FakeRecordingFiles files;
    files.refusal = "The system cannot find the path specified.";
    ScriptedWindow window;
    EXPECT_EQ(openRecordingFile("Z:\\nowhere\\s.jsonl", files, window), nullptr);
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0].first,
              "The recording file cannot be created:\nZ:\\nowhere\\s.jsonl\nThe system cannot find the path "
              "specified.\nThe hub runs without recording.");
    EXPECT_EQ(window.messageBoxes[0].second, "VR Stepdeck monitor");
}

TEST(RecordingStart, TheSwitchWithoutAPathIsToldAndNothingIsCreated) {
    FakeRecordingFiles files;
    ScriptedWindow window;
    EXPECT_EQ(openRecordingFile("", files, window), nullptr);
    EXPECT_TRUE(files.created.empty());
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0].first,
              "The switch -record needs the path of a file after it.\nThe hub runs without recording.");
}

TEST(RecordingEnd, AnEarlyStopIsToldWithThePathAndTheReason) {
    ScriptedRecordingFile file;
    file.diskSize = 0;
    RecordingWriter writer(file, 64, WriterTiming{std::chrono::hours(1), std::chrono::hours(1)});
    writer.append("{\"activate\":true}");
    writer.close();
    ScriptedWindow window;
    reportEarlyStop(writer, "D:\\s.jsonl", window);
    ASSERT_EQ(window.messageBoxes.size(), 1u);
    EXPECT_EQ(window.messageBoxes[0].first,
              "The recording stopped early:\nD:\\s.jsonl\nThere is not enough space on the disk.\n"
              "The file holds the session up to that point.");
}

TEST(RecordingEnd, AWholeRecordingIsNotMentioned) {
    ScriptedRecordingFile file;
    RecordingWriter writer(file);
    writer.append("{\"activate\":true}");
    writer.close();
    ScriptedWindow window;
    reportEarlyStop(writer, "D:\\s.jsonl", window);
    EXPECT_TRUE(window.messageBoxes.empty());
}

}  // namespace
}  // namespace hub
