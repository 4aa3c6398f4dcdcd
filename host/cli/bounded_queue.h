// A queue of limited length between threads: producers wait while it is
// full, consumers while it is empty; closing it wakes everyone.
#ifndef KIVO_HOST_CLI_BOUNDED_QUEUE_H
#define KIVO_HOST_CLI_BOUNDED_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace kivo::cli {

template <typename T> class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

    // False when the queue was closed (the item is dropped).
    bool push(T item) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // The next item; nothing once the queue is closed and empty.
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return item;
    }

    // No more pushes; what is queued can still be popped.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notFull_.notify_all();
        notEmpty_.notify_all();
    }

    // Closes and drops what is queued.
    void abandon() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        items_.clear();
        notFull_.notify_all();
        notEmpty_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable notFull_, notEmpty_;
    std::deque<T> items_;
    size_t capacity_;
    bool closed_ = false;
};

} // namespace kivo::cli

#endif
