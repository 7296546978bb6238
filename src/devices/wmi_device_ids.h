// The Plug and Play device ids of the machine, from WMI (Win32_PNPEntity).
#pragma once

#include <functional>
#include <string_view>

#include "base/edges.h"

namespace hub::windows {

// Hands each DeviceID to examine; returns the result of the last WMI call.
// On a failure the ids handed over so far stand. COM must be initialised.
HResult listPnpDeviceIds(const std::function<void(std::u16string_view)>& examine);

}  // namespace hub::windows
