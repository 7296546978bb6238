#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <dbt.h>

#include "sim_runtime.h"

#include "sim_process.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace stepdeck_sim {
namespace {

Simulator g_simulator;
bool g_loaded = false;
bool g_loadFailed = false;
ULONGLONG g_startMs = 0;
std::filesystem::path g_logPath;

std::filesystem::path environmentPath(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    if (length == 0 || length >= 1024) return {};
    return std::filesystem::path(value);
}

bool readFile(const std::filesystem::path& path, std::string& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream text;
    text << file.rdbuf();
    out = text.str();
    return true;
}

bool loadFailed(const std::string& what) {
    std::fprintf(stderr, "stepdeck-sim: %s\n", what.c_str());
    std::fflush(stderr);
    logEvent("load failed: %s", what.c_str());
    g_loadFailed = true;
    return false;
}

// Answers every datagram on 127.0.0.1:port: one reply line per command line.
void serveControlPort(SOCKET socket) {
    char buffer[4096];
    while (true) {
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int received = recvfrom(socket, buffer, sizeof buffer - 1, 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (WSAGetLastError() == WSAECONNRESET) continue;  // an earlier reply was refused
            return;
        }
        std::string_view text(buffer, static_cast<std::size_t>(received));
        std::string reply;
        {
            std::unique_lock lock(simLock());
            while (!text.empty()) {
                const auto end = text.find('\n');
                const auto line = text.substr(0, end);
                text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
                if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
                if (!reply.empty()) reply += '\n';
                if (isProcessStats(line)) {
                    // Counted without the lock: it takes milliseconds that the program's polls need not wait.
                    lock.unlock();
                    reply += processStats();
                    lock.lock();
                } else {
                    reply += execute(g_simulator, line);
                }
            }
        }
        sendto(socket, reply.data(), static_cast<int>(reply.size()), 0,
               reinterpret_cast<const sockaddr*>(&from), fromLength);
    }
}

void startControlPort(int port) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        std::fprintf(stderr, "stepdeck-sim: Winsock did not start; no control port\n");
        return;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket == INVALID_SOCKET ||
        bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "stepdeck-sim: cannot bind the control port 127.0.0.1:%d\n", port);
        logEvent("control port %d: bind failed", port);
        return;
    }
    logEvent("control port 127.0.0.1:%d", port);
    std::thread(serveControlPort, socket).detach();
}

BOOL CALLBACK postToOwnWindow(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) PostMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    return TRUE;
}

// What Windows does when a device node comes or goes: every top-level window
// hears of it.
void postDevicesChanged() {
    EnumWindows(postToOwnWindow, 0);
    logEvent("WM_DEVICECHANGE DBT_DEVNODES_CHANGED posted");
}

}  // namespace

Simulator& simulator() { return g_simulator; }

std::recursive_mutex& simLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::uint32_t elapsedMs() { return static_cast<std::uint32_t>(GetTickCount64() - g_startMs); }

// The log stays open: a scripted motion logs several lines a tick, and
// opening the file for each would put file-system calls into the program's
// polls. Each line is flushed, so the log is whole whenever the program ends.
void logEvent(const char* format, ...) {
    if (g_logPath.empty()) return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    static std::mutex logLock;  // the program's threads and the control port's log at once
    static std::ofstream log;
    std::lock_guard lock(logLock);
    if (!log.is_open()) log.open(g_logPath, std::ios::app);
    log << elapsedMs() << " ms: " << line << std::endl;
}

bool ensureLoaded() {
    if (g_loaded) return !g_loadFailed;
    g_loaded = true;
    g_startMs = GetTickCount64();
    g_logPath = environmentPath(L"STEPDECK_SIM_LOG");

    g_simulator = defaultSimulator();
    const auto configPath = environmentPath(L"STEPDECK_SIM_CONFIG");
    std::filesystem::path scriptPath;
    if (!configPath.empty()) {
        std::string text, error;
        if (!readFile(configPath, text)) return loadFailed("cannot read " + configPath.string());
        if (!parseConfig(text, g_simulator, error)) {
            return loadFailed(configPath.string() + ": " + error);
        }
        if (!g_simulator.scriptPath.empty()) {
            scriptPath = configPath.parent_path() / std::filesystem::path(g_simulator.scriptPath);
        }
    }
    if (const auto fromEnvironment = environmentPath(L"STEPDECK_SIM_SCRIPT"); !fromEnvironment.empty()) {
        scriptPath = fromEnvironment;
    }
    if (!scriptPath.empty()) {
        std::string text, error;
        if (!readFile(scriptPath, text)) return loadFailed("cannot read " + scriptPath.string());
        if (!parseScript(text, g_simulator.script, error)) {
            return loadFailed(scriptPath.string() + ": " + error);
        }
    }
    g_simulator.devicesChanged = postDevicesChanged;
    wchar_t portText[16];
    const DWORD length = GetEnvironmentVariableW(L"STEPDECK_SIM_PORT", portText, 16);
    if (length > 0 && length < 16) g_simulator.controlPort = _wtoi(portText);
    logEvent("loaded: %zu devices, %zu script entries", g_simulator.devices.size(),
             g_simulator.script.size());
    if (g_simulator.controlPort > 0 && g_simulator.controlPort < 65536) {
        startControlPort(g_simulator.controlPort);
    }
    return true;
}

}  // namespace stepdeck_sim
