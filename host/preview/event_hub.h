// Events for the pages that listen (server-sent events): each subscriber
// gets every event published after it subscribed, in order. A subscriber
// that falls far behind loses its oldest events, never blocks a publisher.
#ifndef KIVO_HOST_PREVIEW_EVENT_HUB_H
#define KIVO_HOST_PREVIEW_EVENT_HUB_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace kivo::preview {

class EventHub {
public:
    static constexpr size_t kMostPending = 256;

    struct Subscriber {
        std::deque<std::string> pending;
    };

    // The subscription ends with the returned handle.
    std::shared_ptr<Subscriber> subscribe();

    // "event: TYPE" and the data as one JSON line.
    void publish(const std::string &type, const nlohmann::json &data);

    // The next event's text; nothing after timeout; an empty text once the hub
    // is closed.
    std::optional<std::string> next(Subscriber &subscriber, std::chrono::milliseconds timeout);

    // Wakes every subscriber for good.
    void close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::list<std::weak_ptr<Subscriber>> subscribers_;
    bool closed_ = false;
};

} // namespace kivo::preview

#endif
