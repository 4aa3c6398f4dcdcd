#include "host/core/global_services.h"

#include <map>
#include <mutex>

namespace kivo::host {

namespace {
struct Registry {
    std::mutex mutex;
    std::map<std::string, void *> services;
};

Registry &registry() {
    static Registry instance;
    return instance;
}
} // namespace

extern "C" void *hostGlobalLookup(const char *name, int32_t /*flags*/) {
    if (name == nullptr) return nullptr;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.services.find(name);
    return found == r.services.end() ? nullptr : found->second;
}

ScopedGlobal::ScopedGlobal(std::string name, void *service) : name_(std::move(name)) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.services.find(name_);
    hadPrevious_ = found != r.services.end();
    previous_ = hadPrevious_ ? found->second : nullptr;
    r.services[name_] = service;
}

ScopedGlobal::~ScopedGlobal() {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    if (hadPrevious_) r.services[name_] = previous_;
    else r.services.erase(name_);
}

} // namespace kivo::host
