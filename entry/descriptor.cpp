// The module's one exported record and its server table.
#include <cstdint>

#include "contract/host_abi.h"
#include "entry/activation.h"
#include "instance/setting_facts.h"

namespace {
const ServerRecord kServerTable[] = {
    {"ImageFilterHandler", kMixerServerName, activateHandler},
    {"ImageFilterInterface", kMixerServerName, activateInterface},
    {nullptr, nullptr, nullptr},
};

void *moduleStartup(void) { return reinterpret_cast<void *>(static_cast<uintptr_t>(4)); }

void moduleShutdown(void * /*serverData*/) {}
} // namespace

extern "C" {
__attribute__((visibility("default"))) extern const ModuleDescriptor _mod_descrip;
const ModuleDescriptor _mod_descrip = {
    KIVO_SYNC_WORD, KIVO_SYSTEM_VERSION, KIVO_MACHINE_WORD, moduleStartup, moduleShutdown, kServerTable,
};
}
