#include "host/cli/render_pipeline.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "host/cli/bounded_queue.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace kivo::cli {
namespace {

// Lowers the calling thread's scheduling priority (and that of the threads
// it starts) below the filter's: the reader's, and the writers' of frames in
// any order (image files). With fewer cores than threads, each core given to
// one of them while the filter waits for one lengthens the render, and they
// have frames queued to catch up with. The one writer of frames in order (a
// video or a stream) keeps the filter's priority: a video's encoder is a
// serial stage of its own (its lookahead and rate control), which measured
// slower below it. Advice only: nothing changes where it fails.
void yieldToFilter() {
#if defined(__linux__)
    constexpr int kLower = 5;
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0) (void)::setpriority(PRIO_PROCESS, thread, std::min(nice + kLower, 19));
#endif
}

class FirstFailure {
public:
    void record(const std::string &message) {
        std::lock_guard lock(mutex_);
        if (!message_) message_ = message;
    }
    std::optional<std::string> message() const {
        std::lock_guard lock(mutex_);
        return message_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<std::string> message_;
};

// The frames that travel between the threads: a finished frame comes back
// here once written, and its buffers are filled again by the reader, so no
// frame is allocated (or its pages touched for the first time) per frame.
// How many are in flight at once is limited by their size.
class FramePool {
public:
    FramePool(size_t minimum, size_t maximum, size_t budget)
        : minimum_(minimum), maximum_(std::max(minimum, maximum)), budget_(budget) {}

    // A frame to read into: a returned one when there is one. Waits while
    // the frames in flight are at their limit; nothing once closed.
    std::optional<media::Frame> take() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || inFlight_ < limit(); });
        if (closed_) return std::nullopt;
        ++inFlight_;
        if (free_.empty()) return media::Frame{};
        media::Frame frame = std::move(free_.back());
        free_.pop_back();
        return frame;
    }

    // A frame that is done with; kept for reuse while it fits the limit.
    void give(media::Frame &&frame) {
        std::lock_guard lock(mutex_);
        const size_t bytes = frame.image.pixels.capacity() + frame.deep.capacity() * sizeof(float);
        frameBytes_ = std::max(frameBytes_, bytes);
        if (inFlight_ > 0) --inFlight_;
        if (inFlight_ + free_.size() < limit()) free_.push_back(std::move(frame));
        ready_.notify_one();
    }

    // A frame that was dropped rather than given back.
    void lost() {
        std::lock_guard lock(mutex_);
        if (inFlight_ > 0) --inFlight_;
        ready_.notify_one();
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_all();
    }

private:
    size_t limit() const {
        if (frameBytes_ == 0) return minimum_;
        return std::clamp(budget_ / frameBytes_, minimum_, maximum_);
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<media::Frame> free_;
    size_t minimum_, maximum_, budget_;
    size_t inFlight_ = 0, frameBytes_ = 0;
    bool closed_ = false;
};

} // namespace

PipelineResult runPipeline(media::FrameSource &source, const std::function<void(media::Frame &)> &filter,
                           media::FrameSink &sink, PipelineObserver *observer, const PipelineOptions &options) {
    const size_t readAhead = std::max<size_t>(options.readAhead, 1);
    const size_t writeBehind = std::max<size_t>(options.writeBehind, 1);
    const size_t writerCount = sink.unordered() ? std::max<size_t>(options.writers, 1) : 1;
    BoundedQueue<media::Frame> toFilter(readAhead);
    BoundedQueue<media::Frame> toWrite(writeBehind);
    // One frame for the reader, the filter and each writer keeps every
    // thread busy; more only smooth out uneven frames.
    FramePool pool(writerCount + 2, writerCount + 2 + readAhead + writeBehind, options.frameBudget);
    FirstFailure failure;
    std::atomic<bool> readFailed{false}, writeFailed{false};
    std::atomic<int64_t> written{0};
    auto stopRequested = [&] { return options.stop != nullptr && options.stop->load(); };

    std::thread reader([&] {
        yieldToFilter();
        try {
            for (;;) {
                if (stopRequested() || writeFailed) break;
                std::optional<media::Frame> frame = pool.take();
                if (!frame) break;
                frame->timestamp.reset();
                bool more = false;
                try {
                    more = source.next(*frame);
                } catch (...) {
                    pool.lost();
                    throw;
                }
                if (!more) {
                    pool.give(std::move(*frame));
                    break;
                }
                if (!toFilter.push(std::move(*frame))) {
                    pool.lost();
                    break;
                }
            }
        } catch (const std::exception &error) {
            failure.record(error.what());
            readFailed = true;
        }
        toFilter.close();
    });

    std::mutex sinkMutex; // an ordered sink takes one frame at a time, in order
    auto writeFrames = [&] {
        if (sink.unordered()) yieldToFilter();
        while (auto frame = toWrite.pop()) {
            if (writeFailed) {
                pool.give(std::move(*frame));
                continue;
            }
            try {
                if (sink.unordered()) {
                    sink.write(*frame);
                } else {
                    std::lock_guard lock(sinkMutex);
                    sink.write(*frame);
                }
                ++written;
                if (observer) observer->frameWritten(frame->number);
            } catch (const std::exception &error) {
                failure.record(error.what());
                writeFailed = true;
            }
            pool.give(std::move(*frame));
        }
    };
    std::vector<std::thread> writers;
    for (size_t i = 0; i < writerCount; ++i)
        writers.emplace_back(writeFrames);

    bool stopped = false;
    while (auto frame = toFilter.pop()) {
        if (writeFailed) break;
        if (stopRequested()) {
            stopped = true;
            break;
        }
        try {
            filter(*frame);
        } catch (const std::exception &error) {
            failure.record(error.what());
            break;
        }
        if (options.replayOnly && options.replayOnly(frame->number)) {
            if (observer) observer->frameReplayed(frame->number);
            pool.give(std::move(*frame));
            continue;
        }
        if (!toWrite.push(std::move(*frame))) break;
    }
    toFilter.abandon(); // lets the reader go if it waits for room
    pool.close();       // or for a frame
    toWrite.close();
    for (auto &writer : writers)
        writer.join();
    reader.join();

    PipelineResult result;
    result.framesWritten = written;
    result.error = failure.message();
    result.stopped = stopped || (stopRequested() && !result.error);
    return result;
}

} // namespace kivo::cli
