// A recording file in memory that can be made to fail: a disk of a given
// size (a write beyond it reaches the file only in part) and failing
// flushes. Safe to read from the test thread while the writer thread writes.
#pragma once

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

#include "engine/recording_writer.h"

namespace hub::testing {

class MemoryRecordingFile final : public RecordingFile {
public:
    std::size_t diskSize = std::numeric_limits<std::size_t>::max();
    bool failFlush = false;

    std::size_t write(std::span<const char> bytes) override {
        std::lock_guard lock(mutex_);
        const std::size_t room = diskSize - std::min(diskSize, contents_.size());
        const std::size_t done = std::min(room, bytes.size());
        contents_.append(bytes.data(), done);
        return done;
    }
    bool flush() override {
        std::lock_guard lock(mutex_);
        if (failFlush) return false;
        ++flushes_;
        flushedSize_ = contents_.size();
        return true;
    }
    bool truncate(std::uint64_t size) override {
        std::lock_guard lock(mutex_);
        ++truncations_;
        contents_.resize(static_cast<std::size_t>(size));
        return true;
    }
    std::string failure() override { return failFlush ? "The device is not ready." : "There is not enough space on the disk."; }

    std::string contents() const {
        std::lock_guard lock(mutex_);
        return contents_;
    }
    int flushes() const {
        std::lock_guard lock(mutex_);
        return flushes_;
    }
    int truncations() const {
        std::lock_guard lock(mutex_);
        return truncations_;
    }
    std::size_t flushedSize() const {
        std::lock_guard lock(mutex_);
        return flushedSize_;
    }

private:
    mutable std::mutex mutex_;
    std::string contents_;
    int flushes_ = 0;
    int truncations_ = 0;
    std::size_t flushedSize_ = 0;
};

}  // namespace hub::testing
