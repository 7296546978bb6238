#include "engine/advanced_tracker.h"

#include "engine/hub.h"

namespace hub {

void runAdvancedTracker(Hub&) {}

}  // namespace hub
