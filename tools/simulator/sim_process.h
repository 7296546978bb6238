// The `stats process` command: what the process the simulator runs in holds,
// for long runs that watch it for leaks. It reads the process from inside,
// so it lives apart from the portable model.
#pragma once

#include <string>
#include <string_view>

namespace stepdeck_sim {

// True when the control line is `stats process`.
bool isProcessStats(std::string_view line);

// "ok private= working_set= handles= gdi= user= handle_table= events= gdi_table= windows=":
// the process's private bytes and working set in bytes (GetProcessMemoryInfo),
// its handle count (GetProcessHandleCount), its GDI and USER objects
// (GetGuiResources), and the counts that do not rely on those calls: the
// entries of the system handle table it owns and how many of those are
// events, the live entries of its GDI handle table, and its windows
// (top-level, child and message-only). A count that cannot be read is -1.
std::string processStats();

}  // namespace stepdeck_sim
