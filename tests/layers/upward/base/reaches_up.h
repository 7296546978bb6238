// A basic header that reaches into the hub above it: the layer check must refuse it.
#pragma once

#include "engine/hub.h"
