#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include "sim_process.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace stepdeck_sim {
namespace {

// The class is missing from the SDK's enumeration: called with its number.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr auto kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
using QuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, void*, ULONG, ULONG*);

// SYSTEM_HANDLE_INFORMATION_EX: one entry per open handle of every process.
struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

bool isEvent(HANDLE handle) {
    alignas(8) unsigned char type[512];
    if (NtQueryObject(handle, ObjectTypeInformation, type, sizeof type, nullptr) < 0) return false;
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(type);  // the type information starts with its name
    return std::wstring_view(name->Buffer, name->Length / sizeof(wchar_t)) == L"Event";
}

struct OwnHandles {
    long long all = -1;
    long long events = -1;
};

OwnHandles ownEntriesOfSystemHandleTable() {
    // Kept between samples, so that a sample leaves nothing new in the heap.
    static std::vector<unsigned char> buffer(1 << 16);
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return {};
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch) {
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status < 0) return {};
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const ULONG_PTR self = GetCurrentProcessId();
    OwnHandles own{0, 0};
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].processId != self) continue;
        ++own.all;
        own.events += isEvent(reinterpret_cast<HANDLE>(table->entries[i].handle));
    }
    return own;
}

// One entry of the GDI handle table that the process environment block
// points to, in a 64-bit process: the object, its owner, and its type
// (0: the entry is free).
struct GdiEntry {
    std::uint64_t object;
    std::uint16_t ownerProcess;
    std::uint16_t count;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
};
static_assert(sizeof(GdiEntry) == 24);
constexpr std::size_t kGdiTableEntries = 0x10000;
constexpr std::size_t kPebGdiTableOffset = 0xF8;

long long liveEntriesOfGdiTable() {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0) {
        return -1;
    }
    const auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
    const GdiEntry* table = nullptr;
    std::memcpy(&table, peb + kPebGdiTableOffset, sizeof table);
    if (table == nullptr) return -1;
    const auto self = static_cast<std::uint16_t>(GetCurrentProcessId());
    long long live = 0;
    for (std::size_t i = 0; i < kGdiTableEntries; ++i) {
        live += table[i].type != 0 && (table[i].ownerProcess == 0 || table[i].ownerProcess == self);
    }
    return live;
}

BOOL CALLBACK countWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<long long*>(count);
    return TRUE;
}

bool ownedHere(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == GetCurrentProcessId();
}

// A top-level window of this process counts with its descendants.
BOOL CALLBACK countOwnTopLevel(HWND window, LPARAM count) {
    if (ownedHere(window)) {
        countWindow(window, count);
        EnumChildWindows(window, countWindow, count);
    }
    return TRUE;
}

BOOL CALLBACK countOwnMessageOnly(HWND window, LPARAM count) {
    if (ownedHere(window)) countWindow(window, count);
    return TRUE;
}

// The windows of this process: top-level ones with their descendants, and
// message-only ones (all children of one parent).
long long ownWindows() {
    long long count = 0;
    EnumWindows(countOwnTopLevel, reinterpret_cast<LPARAM>(&count));
    if (const HWND messageOnly = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr)) {
        EnumChildWindows(GetAncestor(messageOnly, GA_PARENT), countOwnMessageOnly, reinterpret_cast<LPARAM>(&count));
    }
    return count;
}

}  // namespace

bool isProcessStats(std::string_view line) {
    const auto start = line.find_first_not_of(" \t\r");
    const auto end = line.find_last_not_of(" \t\r");
    return start != std::string_view::npos && line.substr(start, end - start + 1) == "stats process";
}

std::string processStats() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    const bool memoryRead = GetProcessMemoryInfo(GetCurrentProcess(),
                                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    const bool handlesRead = GetProcessHandleCount(GetCurrentProcess(), &handles);
    const OwnHandles own = ownEntriesOfSystemHandleTable();
    const auto number = [](bool read, unsigned long long value) {
        return read ? std::to_string(value) : std::string("-1");
    };
    return "ok private=" + number(memoryRead, memory.PrivateUsage) +
           " working_set=" + number(memoryRead, memory.WorkingSetSize) +
           " handles=" + number(handlesRead, handles) +
           " gdi=" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) +
           " user=" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) +
           " handle_table=" + std::to_string(own.all) + " events=" + std::to_string(own.events) +
           " gdi_table=" + std::to_string(liveEntriesOfGdiTable()) +
           " windows=" + std::to_string(ownWindows());
}

}  // namespace stepdeck_sim
