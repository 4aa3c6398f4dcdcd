#include "tests/support/lookup_log.h"

#include <mutex>

#include "host/core/global_services.h"

namespace kivo::test {
namespace {
std::mutex gMutex;
std::vector<std::string> gLog;
} // namespace

extern "C" void *loggingLookup(const char *name, int32_t flags) {
    if (name != nullptr) {
        std::lock_guard lock(gMutex);
        gLog.emplace_back(name);
    }
    return host::hostGlobalLookup(name, flags);
}

std::vector<std::string> lookupLog() {
    std::lock_guard lock(gMutex);
    return gLog;
}

void clearLookupLog() {
    std::lock_guard lock(gMutex);
    gLog.clear();
}

} // namespace kivo::test
