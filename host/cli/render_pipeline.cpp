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

// One run of the pipeline: the queues and frames between the threads, and
// how they end.
class PipelineRun {
public:
    PipelineRun(media::FrameSource &source, media::FrameSink &sink, PipelineObserver *observer,
                const PipelineOptions &options)
        : source_(source), sink_(sink), observer_(observer), options_(options),
          readAhead_(std::max<size_t>(options.readAhead, 1)), writeBehind_(std::max<size_t>(options.writeBehind, 1)),
          writerCount_(sink.unordered() ? std::max<size_t>(options.writers, 1) : 1), toFilter_(readAhead_),
          toWrite_(writeBehind_),
          // One frame for the reader, the filter and each writer keeps every
          // thread busy; more only smooth out uneven frames.
          pool_(writerCount_ + 2, writerCount_ + 2 + readAhead_ + writeBehind_, options.frameBudget) {}

    PipelineResult run(const std::function<void(media::Frame &)> &filter) {
        std::thread reader([&] { read(); });
        std::vector<std::thread> writers;
        for (size_t i = 0; i < writerCount_; ++i)
            writers.emplace_back([&] { write(); });
        const bool stopped = filterFrames(filter);
        toFilter_.abandon(); // lets the reader go if it waits for room
        pool_.close();       // or for a frame
        toWrite_.close();
        for (auto &writer : writers)
            writer.join();
        reader.join();

        PipelineResult result;
        result.framesWritten = written_;
        result.error = failure_.message();
        result.stopped = stopped || (stopRequested() && !result.error);
        return result;
    }

private:
    bool stopRequested() const { return options_.stop != nullptr && options_.stop->load(); }

    // The next frame from the source into a frame of the pool; false at the
    // end, or when the frame could not be passed on.
    bool readOne() {
        std::optional<media::Frame> frame = pool_.take();
        if (!frame) return false;
        frame->timestamp.reset();
        bool more = false;
        try {
            more = source_.next(*frame);
        } catch (...) {
            pool_.lost();
            throw;
        }
        if (!more) {
            pool_.give(std::move(*frame));
            return false;
        }
        if (toFilter_.push(std::move(*frame))) return true;
        pool_.lost();
        return false;
    }

    void read() {
        yieldToFilter();
        try {
            while (!stopRequested() && !writeFailed_ && readOne()) {
            }
        } catch (const std::exception &error) {
            failure_.record(error.what());
        }
        toFilter_.close();
    }

    void write() {
        if (sink_.unordered()) yieldToFilter();
        while (auto frame = toWrite_.pop()) {
            if (!writeFailed_) {
                try {
                    if (sink_.unordered()) {
                        sink_.write(*frame);
                    } else {
                        std::lock_guard lock(sinkMutex_); // an ordered sink takes one frame at a time, in order
                        sink_.write(*frame);
                    }
                    ++written_;
                    if (observer_) observer_->frameWritten(frame->number);
                } catch (const std::exception &error) {
                    failure_.record(error.what());
                    writeFailed_ = true;
                }
            }
            pool_.give(std::move(*frame));
        }
    }

    // Filters the frames as they come, on this thread; true when stopped.
    bool filterFrames(const std::function<void(media::Frame &)> &filter) {
        while (auto frame = toFilter_.pop()) {
            if (writeFailed_) return false;
            if (stopRequested()) return true;
            try {
                filter(*frame);
            } catch (const std::exception &error) {
                failure_.record(error.what());
                return false;
            }
            if (options_.replayOnly && options_.replayOnly(frame->number)) {
                if (observer_) observer_->frameReplayed(frame->number);
                pool_.give(std::move(*frame));
                continue;
            }
            if (!toWrite_.push(std::move(*frame))) return false;
        }
        return false;
    }

    media::FrameSource &source_;
    media::FrameSink &sink_;
    PipelineObserver *observer_;
    const PipelineOptions &options_;
    const size_t readAhead_, writeBehind_, writerCount_;
    BoundedQueue<media::Frame> toFilter_, toWrite_;
    FramePool pool_;
    FirstFailure failure_;
    std::atomic<bool> writeFailed_{false};
    std::atomic<int64_t> written_{0};
    std::mutex sinkMutex_;
};

} // namespace

PipelineResult runPipeline(media::FrameSource &source, const std::function<void(media::Frame &)> &filter,
                           media::FrameSink &sink, PipelineObserver *observer, const PipelineOptions &options) {
    return PipelineRun(source, sink, observer, options).run(filter);
}

} // namespace kivo::cli
