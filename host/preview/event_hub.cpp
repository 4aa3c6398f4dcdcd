#include "host/preview/event_hub.h"

namespace kivo::preview {

std::shared_ptr<EventHub::Subscriber> EventHub::subscribe() {
    auto subscriber = std::make_shared<Subscriber>();
    std::lock_guard lock(mutex_);
    subscribers_.push_back(subscriber);
    return subscriber;
}

void EventHub::publish(const std::string &type, const nlohmann::json &data) {
    const std::string text = "event: " + type + "\ndata: " + data.dump() + "\n\n";
    {
        std::lock_guard lock(mutex_);
        for (auto it = subscribers_.begin(); it != subscribers_.end();) {
            const std::shared_ptr<Subscriber> subscriber = it->lock();
            if (!subscriber) {
                it = subscribers_.erase(it);
                continue;
            }
            if (subscriber->pending.size() == kMostPending) subscriber->pending.pop_front();
            subscriber->pending.push_back(text);
            ++it;
        }
    }
    changed_.notify_all();
}

std::optional<std::string> EventHub::next(Subscriber &subscriber, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return closed_ || !subscriber.pending.empty(); })) return std::nullopt;
    if (closed_) return std::string();
    std::string text = std::move(subscriber.pending.front());
    subscriber.pending.pop_front();
    return text;
}

void EventHub::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

} // namespace kivo::preview
