// The recording's way to its file. The tick appends whole lines to a buffer
// allocated once, without blocking and without touching the heap; a writer
// thread of its own writes them out every 250 ms and hands them to the disk
// at least once a second. A failed write ends the recording, with the file
// cut back to its last whole line; the hub goes on without it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "base/edges.h"

namespace hub {

struct WriterTiming {
    std::chrono::milliseconds writeEvery{250};
    std::chrono::milliseconds flushEvery{1000};
};

class RecordingWriter {
public:
    // 4 MiB hold about half a second of the busiest session, twice the
    // writer's period: every tick a line with both devices and a full queue
    // of the longest datagrams (about 280 KiB).
    static constexpr std::size_t kDefaultCapacity = std::size_t{4} << 20;

    RecordingWriter(RecordingFile& file, std::size_t capacity = kDefaultCapacity, WriterTiming timing = {});
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // The one thread that records: appends the line and its line end. Once
    // the recording has ended, or when the buffer has no room for the line
    // (the disk falls behind: that ends the recording), the line is dropped.
    void append(std::string_view line);

    // Writes out every line appended so far, hands the file to the disk and
    // ends the writer thread. Further calls, and appends, do nothing.
    void close();

    // After close(): why the recording ended before the session, if it did.
    std::optional<std::string> stoppedEarly() const;

private:
    void run();
    // Writes what the buffer holds; false once the recording has ended.
    bool writeOut();
    bool flush();
    void stop(std::string reason);
    std::uint64_t lastLineEnd(std::uint64_t from, std::uint64_t to) const;

    RecordingFile& file_;
    const std::size_t capacity_;
    const WriterTiming timing_;
    const std::unique_ptr<char[]> ring_;

    // Byte counts since the start: the producer advances `appended_`, the
    // writer thread `written_`; the bytes between them are in the ring.
    std::atomic<std::uint64_t> appended_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<bool> ended_{false};     // set by either side; no more lines are taken
    std::atomic<bool> overflow_{false};  // set by the producer when a line found no room

    // The writer thread's own.
    std::uint64_t flushedUpTo_ = 0;
    std::optional<std::string> stoppedEarly_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace hub
