// Opening a shared library and finding a name in it, on each platform the
// host runs on: dlopen on Linux, LoadLibrary on Windows.
#ifndef KIVO_HOST_CORE_SHARED_LIBRARY_H
#define KIVO_HOST_CORE_SHARED_LIBRARY_H

#include <string>

namespace kivo::host {

// The library's handle, or null with the system's reason in `why`.
void *openSharedLibrary(const std::string &path, std::string &why);
// The address of an exported name, or null when the library has none.
void *findSharedSymbol(void *library, const char *name);
void closeSharedLibrary(void *library);

} // namespace kivo::host

#endif
