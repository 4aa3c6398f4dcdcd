// A host's view of one loaded filter module: the module file, the services
// offered to it, and its activated handler.
#ifndef KIVO_HOST_CORE_HOST_SESSION_H
#define KIVO_HOST_CORE_HOST_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include "host/core/global_services.h"
#include "host/core/item_info.h"
#include "host/core/messages.h"
#include "host/core/module_loader.h"
#include "contract/host_abi.h"
#include "instance/setting_facts.h"

namespace kivo::host {

inline constexpr char kHandlerClass[] = "ImageFilterHandler";
inline constexpr char kInterfaceClass[] = "ImageFilterInterface";

class HostSession {
public:
    // Opens the module and activates its handler server with the host's
    // lookup, offering "LW Item Info" and "Info Messages". Throws HostError
    // naming the file and the reason when it cannot.
    // The handler is activated with lookup, which the module keeps for its
    // later lookups.
    explicit HostSession(const std::string &modulePath, const std::string &serverName = kMixerServerName,
                         std::ostream *messageEcho = nullptr, GlobalLookup lookup = hostGlobalLookup);
    ~HostSession();

    const LoadedModule &module() const { return *module_; }
    const HandlerTable &handler() const { return handler_; }
    ItemTable &items() { return items_; }
    MessageRecorder &messages() { return messages_; }
    const std::string &serverName() const { return serverName_; }

    // Instances the host owns; destroyed through the module when released.
    using Instance = std::unique_ptr<void, void (*)(void *)>;
    Instance createInstance();
    std::vector<uint8_t> save(void *instance) const;
    void load(void *instance, const std::vector<uint8_t> &record) const;
    std::string describe(void *instance) const;

    // Activates the interface server on an instance (opens its panels);
    // returns the activation result.
    int32_t editInstance(void *instance);

private:
    std::unique_ptr<LoadedModule> module_;
    std::string serverName_;
    ItemTable items_;
    MessageRecorder messages_;
    ScopedGlobal itemInfoGlobal_;
    ScopedGlobal messagesGlobal_;
    ScopedItemTable installedItems_;
    HandlerTable handler_{};
};

} // namespace kivo::host

#endif
