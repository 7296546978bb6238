// The simulator's process-wide runtime inside dinput8.dll: the model loaded
// from the configuration on first use, the lock that guards it (the program's
// DirectInput calls and the control port's thread both touch it), the clock
// of the timed script, and the optional event log.
#pragma once

#include <cstdint>
#include <mutex>

#include "sim_model.h"

namespace stepdeck_sim {

// Loads the configuration and starts the control port once; false when the
// configuration or the script cannot be read (the reason went to stderr).
// Callers hold `simLock()`.
bool ensureLoaded();

Simulator& simulator();
// Recursive: the program's enumeration callbacks call back into the simulator.
std::recursive_mutex& simLock();

// Milliseconds since the simulator was loaded.
std::uint32_t elapsedMs();

// Appends one line to the file named by STEPDECK_SIM_LOG, when set.
void logEvent(const char* format, ...);

}  // namespace stepdeck_sim
