// The recording's writer: every line reaches the file whole and in order, a
// full disk or a failed flush ends the recording with the file cut back to
// its last whole line, a buffer the disk does not empty in time ends it too,
// and what is written is handed to the disk without waiting for the close.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "engine/recording_writer.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedRecordingFile;

// A writer that writes out only when closed: what it writes is then fixed.
constexpr WriterTiming kOnlyOnClose{std::chrono::hours(1), std::chrono::hours(1)};
// A writer that writes out at once, and flushes once it has written out
// everything it took: a flush shows the room it made in the buffer.
constexpr WriterTiming kEagerly{1ms, 1ms};

// Waits for the writer thread; the limit is there for a hung writer only.
bool eventually(const std::function<bool()>& condition) {
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(RecordingWriter, EveryLineReachesTheFileInOrderAndTheCloseFlushesIt) {
    ScriptedRecordingFile file;
    RecordingWriter writer(file, 1024, kOnlyOnClose);
    writer.append("{\"config\":{}}");
    writer.append("{\"tick\":{\"t\":1}}");
    writer.append("");
    EXPECT_EQ(file.contents(), "") << "written before the writer's time";
    writer.close();
    EXPECT_EQ(file.contents(), "{\"config\":{}}\n{\"tick\":{\"t\":1}}\n\n");
    EXPECT_EQ(file.flushedSize(), file.contents().size());
    EXPECT_EQ(writer.stoppedEarly(), std::nullopt);
}

// A ring that hands out its end and its start as one piece, or reuses room
// before it was written, garbles the lines that wrap around.
TEST(RecordingWriter, LinesThatWrapAroundTheBufferStayWhole) {
    ScriptedRecordingFile file;
    RecordingWriter writer(file, 64, kEagerly);
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string line = "{\"command\":" + std::to_string(i * 7919 % 100000) + "}";
        expected += line + "\n";
        ASSERT_TRUE(eventually([&] { return file.flushedSize() + 64 >= expected.size(); }));  // room for it
        writer.append(line);
    }
    writer.close();
    EXPECT_EQ(file.contents(), expected);
    EXPECT_EQ(writer.stoppedEarly(), std::nullopt);
}

// Fills a 64-byte ring so that its first 40 bytes are written out and the
// next lines wrap around its end, on a disk of `diskSize` bytes.
std::string wrappedOnDisk(std::size_t diskSize, ScriptedRecordingFile& file, std::optional<std::string>& stopped) {
    file.diskSize = diskSize;
    RecordingWriter writer(file, 64, kEagerly);
    const std::string first(39, 'a');
    writer.append(first);
    EXPECT_TRUE(eventually([&] { return file.flushedSize() == 40; }));
    writer.append(std::string(10, 'b'));  // bytes 40 ... 50
    writer.append(std::string(20, 'c'));  // bytes 51 ... 71: 13 before the ring's end, 8 after
    writer.append(std::string(4, 'd'));   // bytes 72 ... 76
    writer.close();
    stopped = writer.stoppedEarly();
    return file.contents();
}

// A disk that fills in the middle of a line must not leave that part of a
// line in the file: the replay would refuse the whole file's last line.
TEST(RecordingWriter, AFullDiskCutsTheFileBackToItsLastWholeLine) {
    const std::string first = std::string(39, 'a') + "\n";
    const std::string second = std::string(10, 'b') + "\n";
    const std::string third = std::string(20, 'c') + "\n";
    for (const auto& [diskSize, kept] : {std::pair{std::size_t{45}, first},  // in the second line
                                         std::pair{std::size_t{55}, first + second},  // before the ring's end
                                         std::pair{std::size_t{67}, first + second},  // after the ring's end
                                         std::pair{std::size_t{51}, first + second},  // just after a line
                                         std::pair{std::size_t{74}, first + second + third}}) {
        ScriptedRecordingFile file;
        std::optional<std::string> stopped;
        EXPECT_EQ(wrappedOnDisk(diskSize, file, stopped), kept) << "disk of " << diskSize << " bytes";
        EXPECT_EQ(stopped, "There is not enough space on the disk.") << "disk of " << diskSize << " bytes";
    }
}

TEST(RecordingWriter, AfterAFailedWriteNothingMoreIsWrittenAndTheCloseIsQuiet) {
    ScriptedRecordingFile file;
    file.diskSize = 10;
    RecordingWriter writer(file, 1024, kEagerly);
    writer.append("0123");
    writer.append("0123456789");
    ASSERT_TRUE(eventually([&] { return file.truncations() == 1; }));
    writer.append("late");  // it would fit
    writer.close();
    writer.close();
    EXPECT_EQ(file.contents(), "0123\n");
    EXPECT_EQ(writer.stoppedEarly(), "There is not enough space on the disk.");
}

TEST(RecordingWriter, AFailedFlushEndsTheRecording) {
    ScriptedRecordingFile file;
    file.failFlush = true;
    RecordingWriter writer(file, 1024, kOnlyOnClose);
    writer.append("{\"activate\":true}");
    writer.close();
    EXPECT_EQ(writer.stoppedEarly(), "The device is not ready.");
}

// The tick never waits for the disk: a line without room ends the recording,
// and the lines before it, which are whole, stay in the file.
TEST(RecordingWriter, ABufferWithoutRoomEndsTheRecordingAfterTheLinesItHolds) {
    ScriptedRecordingFile file;
    RecordingWriter writer(file, 32, kOnlyOnClose);
    writer.append(std::string(19, 'a'));
    writer.append(std::string(19, 'b'));  // 40 bytes in all: no room
    writer.append("c");                   // there would be room, but the session has a gap now
    writer.close();
    EXPECT_EQ(file.contents(), std::string(19, 'a') + "\n");
    EXPECT_EQ(writer.stoppedEarly(), "The disk did not keep up with the session.");
}

// A hub that crashes or is killed keeps what its recording wrote to the disk
// up to a second before.
TEST(RecordingWriter, WhatIsAppendedIsFlushedWithoutWaitingForTheClose) {
    ScriptedRecordingFile file;
    RecordingWriter writer(file, 1024, WriterTiming{});
    const std::string line = "{\"tick\":{\"t\":1}}";
    writer.append(line);
    EXPECT_TRUE(eventually([&] { return file.flushedSize() == line.size() + 1; }));
    writer.close();
    EXPECT_EQ(file.flushes(), 1) << "a flush without anything new to hand over";
}

TEST(RecordingWriter, TheDestructorClosesTheFile) {
    ScriptedRecordingFile file;
    {
        RecordingWriter writer(file, 1024, kOnlyOnClose);
        writer.append("{\"activate\":false}");
    }
    EXPECT_EQ(file.contents(), "{\"activate\":false}\n");
    EXPECT_EQ(file.flushedSize(), file.contents().size());
}

}  // namespace
}  // namespace hub
