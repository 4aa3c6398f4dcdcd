// The activations of the module's two servers: the handler, which saves the
// module-wide services, and the interface, which opens the panels.
#ifndef KIVO_ENTRY_ACTIVATION_H
#define KIVO_ENTRY_ACTIVATION_H

#include <cstdint>

#include "contract/host_abi.h"

extern "C" {
int32_t activateHandler(int32_t version, GlobalLookup lookup, void *local, void *serverData);
int32_t activateInterface(int32_t version, GlobalLookup lookup, void *local, void *serverData);

// The handler's process callback: the frame pass with the item information
// service saved by the activation.
void processHandler(void *instance, const FrameAccess *access);
}

#endif
