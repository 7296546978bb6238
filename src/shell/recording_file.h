// Recording files on the Windows file system: created (or emptied) at a
// path in any letters, written through the system's cache, handed to the
// disk on request, with the system's own words for every failure.
#pragma once

#include <windows.h>

#include "base/edges.h"

namespace hub::windows {

class WindowsRecordingFile final : public RecordingFile {
public:
    explicit WindowsRecordingFile(HANDLE file) : file_(file) {}
    ~WindowsRecordingFile() override;
    WindowsRecordingFile(const WindowsRecordingFile&) = delete;
    WindowsRecordingFile& operator=(const WindowsRecordingFile&) = delete;

    std::size_t write(std::span<const char> bytes) override;
    bool flush() override;
    bool truncate(std::uint64_t size) override;
    std::string failure() override { return failure_; }

private:
    bool failed();

    HANDLE file_;
    std::string failure_;
};

class WindowsRecordingFiles final : public RecordingFiles {
public:
    std::unique_ptr<RecordingFile> create(std::string_view path, std::string& whyNot) override;
};

}  // namespace hub::windows
