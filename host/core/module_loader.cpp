#include "host/core/module_loader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "host/core/host_error.h"
#include "host/core/shared_library.h"

namespace kivo::host {

namespace {
[[noreturn]] void fail(const std::string &path, const std::string &reason) {
    throw HostError("cannot load module " + path + ": " + reason);
}

std::string hex(uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}
// Why a descriptor cannot be used, or an empty text when it can.
std::string descriptorProblem(const ModuleDescriptor *descriptor) {
    if (descriptor == nullptr) return "no _mod_descrip symbol";
    if (descriptor->syncWord != KIVO_SYNC_WORD)
        return "wrong sync word " + hex(descriptor->syncWord) + " (expected " + hex(KIVO_SYNC_WORD) + ")";
    if (descriptor->systemVersion != KIVO_SYSTEM_VERSION)
        return "unsupported system version " + std::to_string(descriptor->systemVersion);
    if (descriptor->serverTable == nullptr) return "no server table";
    return "";
}
} // namespace

LoadedModule::LoadedModule(std::string path, void *handle, const ModuleDescriptor *descriptor)
    : path_(std::move(path)), handle_(handle), descriptor_(descriptor) {}

std::unique_ptr<LoadedModule> LoadedModule::open(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) fail(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) fail(path, "not a regular file");

    std::string why;
    void *handle = openSharedLibrary(path, why);
    if (handle == nullptr) fail(path, "not a loadable shared object (" + why + ")");
    auto *descriptor = static_cast<const ModuleDescriptor *>(findSharedSymbol(handle, "_mod_descrip"));
    const std::string reason = descriptorProblem(descriptor);
    if (!reason.empty()) {
        closeSharedLibrary(handle); // the descriptor is not read past this point
        fail(path, reason);
    }
    std::unique_ptr<LoadedModule> module(new LoadedModule(path, handle, descriptor));
    if (descriptor->startup != nullptr) module->startupResult_ = descriptor->startup();
    return module;
}

LoadedModule::~LoadedModule() {
    if (descriptor_->shutdown != nullptr) descriptor_->shutdown(startupResult_);
    closeSharedLibrary(handle_);
}

ActivateFunction LoadedModule::findServer(const char *className, const char *serverName) const {
    for (const ServerRecord *row = descriptor_->serverTable; row->className != nullptr; ++row)
        if (std::strcmp(row->className, className) == 0 && row->serverName != nullptr &&
            std::strcmp(row->serverName, serverName) == 0)
            return row->activate;
    return nullptr;
}

ActivateFunction LoadedModule::requireServer(const char *className, const char *serverName) const {
    ActivateFunction activate = findServer(className, serverName);
    if (activate == nullptr) {
        // The module loaded: say which servers it has, not that it failed to load.
        std::string offered;
        for (const ServerRecord *row = descriptor_->serverTable; row->className != nullptr; ++row)
            if (std::strcmp(row->className, className) == 0 && row->serverName != nullptr)
                offered += std::string(offered.empty() ? "" : ", ") + "\"" + row->serverName + "\"";
        throw HostError(path_ + ": the module has no " + className + " server named \"" + serverName + "\" (it has " +
                        (offered.empty() ? std::string("none") : offered) + ")");
    }
    return activate;
}

} // namespace kivo::host
