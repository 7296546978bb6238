// exit-code: runs a Windows program, waits for it to end and writes the exit
// code that Windows reports for it, as a decimal number and a line break.
//
//   exit-code FILE PROGRAM [ARGS...]
//
// The tests start hub.exe through it under Wine: Wine can hand on the status
// of a process that ended itself from a second thread as if it were killed
// (signal 9), while GetExitCodeProcess reports what a Windows user would see.
// FILE appears only once the program has ended, whole (written beside it and
// then renamed), so a reader never sees half a number. The child runs in a
// job that ends it when this program ends, so stopping exit-code stops it.
// exit-code's own status is the program's exit code, or 255 when it could not
// be started (then FILE is not written).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument quoted so that the child's CommandLineToArgvW gives it back
// unchanged: backslashes double only before a quote.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

bool writeExitCode(const std::wstring& path, DWORD code) {
    const std::wstring partial = path + L".partial";
    FILE* file = _wfopen(partial.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fprintf(file, "%lu\n", static_cast<unsigned long>(code)) > 0;
    if (std::fclose(file) != 0 || !written) return false;
    return MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: exit-code FILE PROGRAM [ARGS...]\n");
        return 255;
    }
    std::wstring commandLine = quoted(argv[2]);
    for (int i = 3; i < argc; ++i) commandLine += L" " + quoted(argv[i]);

    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &child)) {
        std::fprintf(stderr, "exit-code: cannot start %ls (error %lu)\n", argv[2], GetLastError());
        return 255;
    }
    if (job != nullptr) AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    if (!writeExitCode(argv[1], code)) std::fprintf(stderr, "exit-code: cannot write %ls\n", argv[1]);
    return static_cast<int>(code);
}
