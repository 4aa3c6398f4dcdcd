#include "host/core/messages.h"

namespace kivo::host {

namespace {
MessageRecorder *gCurrent = nullptr;

void deliver(HostMessage::Kind kind, const char *line1, const char *line2) {
    if (gCurrent != nullptr) gCurrent->receive(kind, line1, line2);
}

extern "C" void onInfo(const char *line1, const char *line2) { deliver(HostMessage::Kind::Info, line1, line2); }
extern "C" void onError(const char *line1, const char *line2) { deliver(HostMessage::Kind::Error, line1, line2); }
extern "C" void onWarning(const char *line1, const char *line2) {
    deliver(HostMessage::Kind::Warning, line1, line2);
}

MessageService gService = {onInfo, onError, onWarning};
} // namespace

MessageRecorder::MessageRecorder(std::ostream *echo) : echo_(echo), previous_(gCurrent) { gCurrent = this; }

MessageRecorder::~MessageRecorder() { gCurrent = previous_; }

MessageService *MessageRecorder::service() { return &gService; }

void MessageRecorder::receive(HostMessage::Kind kind, const char *line1, const char *line2) {
    messages_.push_back({kind, line1 ? line1 : "", line2 ? line2 : ""});
    if (echo_ != nullptr) {
        static const char *const kPrefix[] = {"info", "error", "warning"};
        *echo_ << kPrefix[static_cast<int>(kind)] << ": " << messages_.back().line1;
        if (!messages_.back().line2.empty()) *echo_ << "\n  " << messages_.back().line2;
        *echo_ << '\n';
    }
}

} // namespace kivo::host
