#include "engine/recording_writer.h"

#include <algorithm>
#include <cstring>

namespace hub {

namespace {

constexpr std::string_view kFellBehind = "The disk did not keep up with the session.";

}  // namespace

// The ring is zeroed at once, so all of it is resident from the start: the
// tick never waits for a page of it to be mapped in, and the process's
// resident memory does not creep up by the recording's size until the ring
// has gone round once.
RecordingWriter::RecordingWriter(RecordingFile& file, std::size_t capacity, WriterTiming timing)
    : file_(file), capacity_(capacity), timing_(timing), ring_(new char[capacity]()), thread_([this] { run(); }) {}

RecordingWriter::~RecordingWriter() { close(); }

void RecordingWriter::append(std::string_view line) {
    if (ended_.load(std::memory_order_relaxed)) return;
    const std::uint64_t at = appended_.load(std::memory_order_relaxed);
    const std::size_t size = line.size() + 1;
    if (at + size - written_.load(std::memory_order_acquire) > capacity_) {
        overflow_.store(true, std::memory_order_relaxed);
        ended_.store(true, std::memory_order_relaxed);
        return;
    }
    const std::size_t offset = at % capacity_;
    const std::size_t first = std::min(line.size(), capacity_ - offset);
    std::memcpy(ring_.get() + offset, line.data(), first);
    std::memcpy(ring_.get(), line.data() + first, line.size() - first);
    ring_[(at + line.size()) % capacity_] = '\n';
    appended_.store(at + size, std::memory_order_release);
}

void RecordingWriter::close() {
    {
        std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    ended_.store(true, std::memory_order_relaxed);
}

std::optional<std::string> RecordingWriter::stoppedEarly() const { return stoppedEarly_; }

void RecordingWriter::run() {
    auto lastFlush = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool closing = wake_.wait_for(lock, timing_.writeEvery, [this] { return closing_; });
        lock.unlock();
        const auto now = std::chrono::steady_clock::now();
        const bool flushDue = closing || now - lastFlush >= timing_.flushEvery;
        // The lines before an overflow are whole: they are kept, then the recording ends.
        const bool overflow = overflow_.load(std::memory_order_relaxed);
        if (writeOut() && (flushDue || overflow) && flush()) {
            lastFlush = now;
            if (overflow) stop(std::string(kFellBehind));
        }
        if (closing || stoppedEarly_) return;
        lock.lock();
    }
}

bool RecordingWriter::writeOut() {
    const std::uint64_t end = appended_.load(std::memory_order_acquire);
    const std::uint64_t start = written_.load(std::memory_order_relaxed);
    for (std::uint64_t at = start; at < end;) {
        const std::size_t offset = at % capacity_;
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, capacity_ - offset));
        const std::size_t done = file_.write({ring_.get() + offset, length});
        at += done;
        if (done < length) {
            std::string reason = file_.failure();
            file_.truncate(lastLineEnd(start, at));  // at worst the file ends in part of a line
            stop(std::move(reason));
            return false;
        }
    }
    // Only now may the producer reuse the room: a failed write reads it back.
    written_.store(end, std::memory_order_release);
    return true;
}

bool RecordingWriter::flush() {
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    if (flushedUpTo_ == written) return true;
    if (!file_.flush()) {
        stop(file_.failure());
        return false;
    }
    flushedUpTo_ = written;
    return true;
}

void RecordingWriter::stop(std::string reason) {
    stoppedEarly_ = std::move(reason);
    ended_.store(true, std::memory_order_relaxed);
}

// The byte count just after the last line end among the bytes [from, to), or
// `from`: every write out starts at a line's start.
std::uint64_t RecordingWriter::lastLineEnd(std::uint64_t from, std::uint64_t to) const {
    for (std::uint64_t at = to; at > from; --at) {
        if (ring_[(at - 1) % capacity_] == '\n') return at;
    }
    return from;
}

}  // namespace hub
