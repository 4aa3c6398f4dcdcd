// A private copy of a module file, in a directory of its own that is removed
// again with the copy. The system loader keeps one image per file, so a
// module opened twice from the same file shares its state (such as its
// generator); opening a copy gives a module that starts afresh.
#ifndef KIVO_HOST_CORE_MODULE_COPY_H
#define KIVO_HOST_CORE_MODULE_COPY_H

#include <string>

namespace kivo::host {

class ModuleCopy {
public:
    // Throws HostError naming the module when it cannot be copied.
    explicit ModuleCopy(const std::string &modulePath);
    ~ModuleCopy(); // removes the copy; a module loaded from it stays loaded
    ModuleCopy(const ModuleCopy &) = delete;
    ModuleCopy &operator=(const ModuleCopy &) = delete;

    const std::string &path() const { return path_; }

private:
    std::string directory_, path_;
};

} // namespace kivo::host

#endif
