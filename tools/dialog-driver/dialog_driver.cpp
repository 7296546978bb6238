// dialog-driver: reads and drives the hub's dialog from outside, for
// end-to-end tests and for people who script the hub.
//
//   dialog-driver COMMAND [ARGS...]     runs one command
//   dialog-driver                       reads commands from standard input, one a line
//
// Every command prints zero or more JSON lines and then one status line,
// {"ok":true} or {"ok":false,"error":"..."}; run from the command line the
// exit status is 0 or 1 accordingly. Commands:
//
//   find [TIMEOUT_MS]             wait for the dialog "VR Stepdeck Hub (v2.0)":
//                                 {"title":..,"pid":..,"visible":..,"active":..,"client":[w,h],
//                                 "window":[x,y,w,h]} (window in screen pixels)
//   read [ID...]                  {"id":..,"class":..,"text":..,"enabled":..,"visible":..,
//                                 "rect":[x,y,w,h]} per control (all controls, in
//                                 template order, when no id is given; rect in
//                                 client pixels)
//   command ID                    WM_COMMAND with ID, as a button click sends it
//   close                         the close box (WM_SYSCOMMAND SC_CLOSE, then WM_CLOSE)
//   key escape|enter              the key, as the dialog's modal loop receives it
//   wait ID TIMEOUT_MS TEXT...    wait until control ID shows exactly TEXT
//   changed ID TIMEOUT_MS TEXT... wait until control ID shows anything but TEXT
//   messagebox [TIMEOUT_MS]       wait for a message box of the hub's process:
//                                 {"caption":..,"text":..}
//   dismiss                       press OK on that message box
//   gone [TIMEOUT_MS]             wait until the dialog no longer exists
//
// DIALOG_DRIVER_TITLE names another dialog to drive (the floor program's, say).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::wstring& dialogTitle() {
    static const std::wstring title = [] {
        wchar_t value[256];
        const DWORD length = GetEnvironmentVariableW(L"DIALOG_DRIVER_TITLE", value, 256);
        return length > 0 && length < 256 ? std::wstring(value) : std::wstring(L"VR Stepdeck Hub (v2.0)");
    }();
    return title;
}
constexpr UINT kSendTimeoutMs = 2000;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length,
                        nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

std::string jsonString(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The text of a window of another process, through WM_GETTEXT (marshalled
// by the system), with a timeout so a busy program cannot hang the driver.
// One call with room for any of the hub's texts (512 characters at most):
// a length asked for first may be out of date when the text is read, as the
// hub rewrites its labels on its own timer.
std::wstring windowText(HWND window) {
    std::wstring text(1024, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return {};
    }
    text.resize(copied);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

template <typename Condition>
bool waitFor(DWORD timeoutMs, Condition condition) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (true) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
}

class Driver {
public:
    // Runs one command; false with `error` set when it failed.
    bool run(const std::vector<std::string>& args, std::string& error) {
        const std::string& verb = args[0];
        if (verb == "find") {
            if (!find(timeoutArg(args, 1, 10000), error)) return false;
            RECT client{}, frame{};
            GetClientRect(dialog_, &client);
            GetWindowRect(dialog_, &frame);
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            const bool active = GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info) &&
                                info.hwndActive == dialog_;
            emit("{\"title\":" + jsonString(windowText(dialog_)) + ",\"pid\":" + std::to_string(process_) +
                 ",\"visible\":" + (IsWindowVisible(dialog_) ? "true" : "false") +
                 ",\"active\":" + (active ? "true" : "false") + ",\"client\":[" +
                 std::to_string(client.right) + "," + std::to_string(client.bottom) + "],\"window\":[" +
                 std::to_string(frame.left) + "," + std::to_string(frame.top) + "," +
                 std::to_string(frame.right - frame.left) + "," + std::to_string(frame.bottom - frame.top) +
                 "]}");
            return true;
        }
        if (verb == "gone") {
            const bool gone = waitFor(timeoutArg(args, 1, 10000), [] { return findDialog() == nullptr; });
            if (!gone) error = "the dialog is still there";
            return gone;
        }
        if (verb == "messagebox") return messageBox(timeoutArg(args, 1, 10000), error);
        if (verb == "dismiss") return dismiss(error);
        if (!find(0, error)) return false;
        if (verb == "read") return read(args, error);
        if (verb == "command" && args.size() == 2) {
            const int id = std::atoi(args[1].c_str());
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)), SMTO_NORMAL,
                                kSendTimeoutMs, &ignored);
            return true;
        }
        if (verb == "close") {
            PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        }
        if (verb == "key" && args.size() == 2 && (args[1] == "escape" || args[1] == "enter")) {
            pressKey(args[1] == "escape" ? VK_ESCAPE : VK_RETURN);
            return true;
        }
        if ((verb == "wait" || verb == "changed") && args.size() >= 3) {
            return waitText(std::atoi(args[1].c_str()), timeoutArg(args, 2, 10000), restOf(args, 3),
                            verb == "wait", error);
        }
        error = "unknown command or wrong arguments: " + verb;
        return false;
    }

private:
    static HWND findDialog() { return FindWindowW(L"#32770", dialogTitle().c_str()); }

    static DWORD timeoutArg(const std::vector<std::string>& args, std::size_t at, DWORD fallback) {
        return args.size() > at ? static_cast<DWORD>(std::strtoul(args[at].c_str(), nullptr, 10)) : fallback;
    }

    static std::wstring restOf(const std::vector<std::string>& args, std::size_t from) {
        std::string text;
        for (std::size_t i = from; i < args.size(); ++i) {
            if (i > from) text += ' ';
            text += args[i];
        }
        return wide(text);
    }

    bool find(DWORD timeoutMs, std::string& error) {
        const bool found = waitFor(timeoutMs, [this] {
            dialog_ = findDialog();
            return dialog_ != nullptr;
        });
        if (!found) {
            error = "no dialog titled " + utf8(dialogTitle());
            return false;
        }
        GetWindowThreadProcessId(dialog_, &process_);
        return true;
    }

    static std::string describe(HWND control, HWND dialog) {
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        std::ostringstream line;
        line << "{\"id\":" << GetDlgCtrlID(control) << ",\"class\":" << jsonString(className(control))
             << ",\"text\":" << jsonString(windowText(control))
             << ",\"enabled\":" << (IsWindowEnabled(control) ? "true" : "false")
             << ",\"visible\":" << (IsWindowVisible(control) ? "true" : "false") << ",\"rect\":["
             << rect.left << ',' << rect.top << ',' << rect.right - rect.left << ','
             << rect.bottom - rect.top << "]}";
        return line.str();
    }

    bool read(const std::vector<std::string>& args, std::string& error) {
        if (args.size() == 1) {
            for (HWND child = GetWindow(dialog_, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                emit(describe(child, dialog_));
            }
            return true;
        }
        for (std::size_t i = 1; i < args.size(); ++i) {
            const HWND control = GetDlgItem(dialog_, std::atoi(args[i].c_str()));
            if (control == nullptr) {
                error = "no control " + args[i];
                return false;
            }
            emit(describe(control, dialog_));
        }
        return true;
    }

    bool waitText(int id, DWORD timeoutMs, const std::wstring& text, bool equal, std::string& error) {
        const HWND control = GetDlgItem(dialog_, id);
        if (control == nullptr) {
            error = "no control " + std::to_string(id);
            return false;
        }
        std::wstring shown;
        const bool met = waitFor(timeoutMs, [&] {
            shown = windowText(control);
            return (shown == text) == equal;
        });
        emit("{\"id\":" + std::to_string(id) + ",\"text\":" + jsonString(shown) + "}");
        if (!met) error = "timed out";
        return met;
    }

    // The modal loop hands keys to IsDialogMessage, which turns Escape into
    // the cancel command and Enter into the default button.
    void pressKey(UINT key) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        HWND target = dialog_;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info) && info.hwndFocus != nullptr) {
            target = info.hwndFocus;
        }
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }

    // A message box of the hub: a dialog-class top-level window with another
    // title than the hub's dialog, in the same process when that is known.
    HWND findMessageBox() {
        struct Search {
            DWORD process;
            HWND found;
        } search{process_, nullptr};
        EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto* s = reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (className(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
                if (s->process != 0 && owner != s->process) return TRUE;
                if (windowText(window) == dialogTitle()) return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // The process whose message boxes count: the dialog's, once it exists.
    void refreshProcess() {
        dialog_ = findDialog();
        process_ = 0;
        if (dialog_ != nullptr) GetWindowThreadProcessId(dialog_, &process_);
    }

    // The message is the static control with the longest text (the icon is a static too).
    static std::wstring messageOf(HWND box) {
        std::wstring message;
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (_wcsicmp(className(child).c_str(), L"Static") != 0) continue;
            const std::wstring text = windowText(child);
            if (text.size() > message.size()) message = text;
        }
        return message;
    }

    bool messageBox(DWORD timeoutMs, std::string& error) {
        refreshProcess();
        HWND box = nullptr;
        std::wstring message;
        // A box can be visible before its initialisation has written its texts.
        if (!waitFor(timeoutMs, [&] {
                box = findMessageBox();
                if (box != nullptr) message = messageOf(box);
                return !message.empty();
            })) {
            error = "no message box";
            return false;
        }
        emit("{\"caption\":" + jsonString(windowText(box)) + ",\"text\":" + jsonString(message) + "}");
        return true;
    }

    bool dismiss(std::string& error) {
        refreshProcess();
        const HWND box = findMessageBox();
        if (box == nullptr) {
            error = "no message box";
            return false;
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    }

    HWND dialog_ = nullptr;
    DWORD process_ = 0;
};

std::vector<std::string> splitWords(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool runAndReport(Driver& driver, const std::vector<std::string>& args) {
    std::string error;
    const bool ok = driver.run(args, error);
    emit(ok ? "{\"ok\":true}" : "{\"ok\":false,\"error\":" + jsonString(wide(error)) + "}");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Driver driver;
    if (argc > 1) return runAndReport(driver, {argv + 1, argv + argc}) ? 0 : 1;
    for (std::string line; std::getline(std::cin, line);) {
        const auto words = splitWords(line);
        if (!words.empty()) runAndReport(driver, words);
    }
    return 0;
}
