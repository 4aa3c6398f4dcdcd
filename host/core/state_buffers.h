// LoadState and SaveState over byte buffers: how the host stores an
// instance's settings record in the scene.
#ifndef KIVO_HOST_CORE_STATE_BUFFERS_H
#define KIVO_HOST_CORE_STATE_BUFFERS_H

#include <cstdint>
#include <vector>

#include "contract/host_abi.h"

namespace kivo::host {

// Calls save(instance, state); returns every byte the module wrote, in order.
std::vector<uint8_t> saveToBytes(SaveFunction save, void *instance);

// Calls load(instance, state) with a reader over the bytes. A read asking for
// more than is left gets what is left and reports that count.
int32_t loadFromBytes(LoadFunction load, void *instance, const std::vector<uint8_t> &bytes);

} // namespace kivo::host

#endif
