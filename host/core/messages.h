// The host's "Info Messages" service: errors and warnings of two lines each,
// recorded and optionally printed.
#ifndef KIVO_HOST_CORE_MESSAGES_H
#define KIVO_HOST_CORE_MESSAGES_H

#include <ostream>
#include <string>
#include <vector>

#include "contract/host_abi.h"

namespace kivo::host {

struct HostMessage {
    enum class Kind { Info, Error, Warning } kind;
    std::string line1;
    std::string line2;
    bool operator==(const HostMessage &) const = default;
};

// The module's message calls carry no context, so one recorder at a time is
// installed; it receives every message until it is destroyed.
class MessageRecorder {
public:
    explicit MessageRecorder(std::ostream *echo = nullptr);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    const std::vector<HostMessage> &messages() const { return messages_; }
    void clear() { messages_.clear(); }

    // The service table to offer as "Info Messages".
    static MessageService *service();

    void receive(HostMessage::Kind kind, const char *line1, const char *line2);

private:
    std::ostream *echo_;
    std::vector<HostMessage> messages_;
    MessageRecorder *previous_;
};

} // namespace kivo::host

#endif
