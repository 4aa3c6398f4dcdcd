// The error type of the stand-in host; never crosses into the module.
#ifndef KIVO_HOST_CORE_HOST_ERROR_H
#define KIVO_HOST_CORE_HOST_ERROR_H

#include <stdexcept>
#include <string>

namespace kivo::host {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &message) : std::runtime_error(message) {}
};

} // namespace kivo::host

#endif
