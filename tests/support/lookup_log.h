// The host's global lookup with every name asked for noted, for tests that
// check which services the module looks up.
#ifndef KIVO_TESTS_SUPPORT_LOOKUP_LOG_H
#define KIVO_TESTS_SUPPORT_LOOKUP_LOG_H

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::test {

// Notes the name, then answers as hostGlobalLookup does.
extern "C" void *loggingLookup(const char *name, int32_t flags);

// Every name looked up through loggingLookup so far, in order.
std::vector<std::string> lookupLog();
void clearLookupLog();

} // namespace kivo::test

#endif
