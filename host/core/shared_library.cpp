#include "host/core/shared_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kivo::host {

#ifdef _WIN32

namespace {
std::string systemMessage(DWORD code) {
    char *text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : "";
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}
} // namespace

void *openSharedLibrary(const std::string &path, std::string &why) {
    std::string native = path;
    for (char &c : native)
        if (c == '/') c = '\\';
    // A library that cannot be loaded is reported, never shown in a dialog box;
    // its own DLLs are looked for next to it.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE library = LoadLibraryExA(native.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD error = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr) why = systemMessage(error);
    return reinterpret_cast<void *>(library);
}

void *findSharedSymbol(void *library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeSharedLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }

#else

void *openSharedLibrary(const std::string &path, std::string &why) {
    // dlopen searches the library path for names without a slash.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    void *library = ::dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *error = ::dlerror();
        why = error != nullptr ? error : "unknown";
    }
    return library;
}

void *findSharedSymbol(void *library, const char *name) {
    ::dlerror();
    return ::dlsym(library, name);
}

void closeSharedLibrary(void *library) { ::dlclose(library); }

#endif

} // namespace kivo::host
