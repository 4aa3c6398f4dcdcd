#include "host/core/module_copy.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "host/core/host_error.h"

namespace kivo::host {

ModuleCopy::ModuleCopy(const std::string &modulePath) {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "vidmixer-module-XXXXXX").string();
    if (error || ::mkdtemp(pattern.data()) == nullptr)
        throw HostError("cannot load module " + modulePath + ": no private directory for a fresh copy");
    directory_ = pattern;
    path_ = (std::filesystem::path(directory_) / std::filesystem::path(modulePath).filename()).string();
    if (!std::filesystem::copy_file(modulePath, path_, error)) {
        std::filesystem::remove_all(directory_, error);
        throw HostError("cannot load module " + modulePath + ": cannot make a fresh copy (" + error.message() + ")");
    }
}

ModuleCopy::~ModuleCopy() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

} // namespace kivo::host
