#include "host/core/host_session.h"

#include "host/core/host_error.h"
#include "host/core/state_buffers.h"

namespace kivo::host {

namespace {
const char *activationReason(int32_t code) {
    switch (code) {
    case AFUNC_BADVERSION: return "wrong server version";
    case AFUNC_BADGLOBAL: return "a host service it needs is missing";
    default: return "unknown failure";
    }
}
} // namespace

HostSession::HostSession(const std::string &modulePath, const std::string &serverName, std::ostream *messageEcho,
                         GlobalLookup lookup)
    : module_(LoadedModule::open(modulePath)), serverName_(serverName), messages_(messageEcho),
      itemInfoGlobal_("LW Item Info", ItemTable::service()),
      messagesGlobal_("Info Messages", MessageRecorder::service()), installedItems_(items_) {
    ActivateFunction activate = module_->requireServer(kHandlerClass, serverName_.c_str());
    const int32_t code = activate(KIVO_SERVER_VERSION, lookup, &handler_, nullptr);
    if (code != AFUNC_OK)
        throw HostError("cannot activate " + std::string(kHandlerClass) + " \"" + serverName_ + "\" of " +
                        modulePath + ": " + activationReason(code) + " (code " + std::to_string(code) + ")");
}

HostSession::~HostSession() = default;

HostSession::Instance HostSession::createInstance() {
    void *instance = handler_.create(nullptr);
    if (instance == nullptr) throw HostError("the module could not create an instance");
    return Instance(instance, handler_.destroy);
}

std::vector<uint8_t> HostSession::save(void *instance) const { return saveToBytes(handler_.save, instance); }

void HostSession::load(void *instance, const std::vector<uint8_t> &record) const {
    loadFromBytes(handler_.load, instance, record);
}

std::string HostSession::describe(void *instance) const { return handler_.describe(instance); }

int32_t HostSession::editInstance(void *instance) {
    ActivateFunction activate = module_->requireServer(kInterfaceClass, serverName_.c_str());
    return activate(KIVO_SERVER_VERSION, hostGlobalLookup, instance, nullptr);
}

} // namespace kivo::host
