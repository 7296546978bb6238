#include "shell/recording_file.h"

#include "devices/wide_text.h"

namespace hub::windows {

namespace {

// The system's message for the error, without its line end.
std::string describe(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring_view message(text, length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.remove_suffix(1);
    }
    std::string described = message.empty() ? "Error " + std::to_string(error) + "." : narrow(message);
    LocalFree(text);
    return described;
}

}  // namespace

WindowsRecordingFile::~WindowsRecordingFile() { CloseHandle(file_); }

std::size_t WindowsRecordingFile::write(std::span<const char> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file_, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            failed();
            return done + written;
        }
        done += written;
    }
    return done;
}

bool WindowsRecordingFile::flush() { return FlushFileBuffers(file_) || failed(); }

bool WindowsRecordingFile::truncate(std::uint64_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    return (SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) && SetEndOfFile(file_)) || failed();
}

// Keeps the reason of the first failure: the one the user is told.
bool WindowsRecordingFile::failed() {
    const DWORD error = GetLastError();
    if (failure_.empty()) failure_ = describe(error);
    return false;
}

std::unique_ptr<RecordingFile> WindowsRecordingFiles::create(std::string_view path, std::string& whyNot) {
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        whyNot = describe(GetLastError());
        return nullptr;
    }
    return std::make_unique<WindowsRecordingFile>(file);
}

}  // namespace hub::windows
