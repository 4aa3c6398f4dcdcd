// Opens a module file the way a renderer host does: through its exported
// descriptor, with the descriptor's words checked before anything is called.
#ifndef KIVO_HOST_CORE_MODULE_LOADER_H
#define KIVO_HOST_CORE_MODULE_LOADER_H

#include <memory>
#include <string>

#include "contract/host_abi.h"

namespace kivo::host {

class LoadedModule {
public:
    // Throws HostError naming the file and the reason when the file is
    // missing, is not a shared object, lacks _mod_descrip or has the wrong
    // sync word or version. Calls the module's startup on success.
    static std::unique_ptr<LoadedModule> open(const std::string &path);

    ~LoadedModule(); // calls shutdown, then closes the file
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    const std::string &path() const { return path_; }
    const ModuleDescriptor &descriptor() const { return *descriptor_; }

    // The activation function of a server, or null when the table has none.
    ActivateFunction findServer(const char *className, const char *serverName) const;
    // Like findServer, but throws HostError naming the file and the server.
    ActivateFunction requireServer(const char *className, const char *serverName) const;

private:
    LoadedModule(std::string path, void *handle, const ModuleDescriptor *descriptor);

    std::string path_;
    void *handle_;
    const ModuleDescriptor *descriptor_;
    void *startupResult_ = nullptr;
};

} // namespace kivo::host

#endif
