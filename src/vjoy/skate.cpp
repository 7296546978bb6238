#include "vjoy/skate.h"

#include "engine/hub.h"

namespace hub {

void runSkateAndSend(Hub&) {}

}  // namespace hub
