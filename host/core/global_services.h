// The named services a host offers to modules through GlobalLookup. The
// lookup function takes no context, so the registry is process-wide.
#ifndef KIVO_HOST_CORE_GLOBAL_SERVICES_H
#define KIVO_HOST_CORE_GLOBAL_SERVICES_H

#include <string>
#include <vector>

#include "contract/host_abi.h"

namespace kivo::host {

// The host's GlobalLookup: the registered service of that name, or null.
extern "C" void *hostGlobalLookup(const char *name, int32_t flags);

// Registers a service for the lifetime of this object; the previous service
// of the same name (if any) comes back when it ends.
class ScopedGlobal {
public:
    ScopedGlobal(std::string name, void *service);
    ~ScopedGlobal();
    ScopedGlobal(const ScopedGlobal &) = delete;
    ScopedGlobal &operator=(const ScopedGlobal &) = delete;

private:
    std::string name_;
    void *previous_;
    bool hadPrevious_;
};

} // namespace kivo::host

#endif
