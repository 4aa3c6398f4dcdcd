// The handler server's activation.
#ifndef KIVO_MODULE_ACTIVATION_H
#define KIVO_MODULE_ACTIVATION_H

#include <cstdint>

#include "module/host_abi.h"

extern "C" {
int32_t activateHandler(int32_t version, GlobalLookup lookup, void *local, void *serverData);
}

#endif
