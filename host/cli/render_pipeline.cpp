#include "host/cli/render_pipeline.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "host/cli/bounded_queue.h"

namespace kivo::cli {
namespace {

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

} // namespace

PipelineResult runPipeline(media::FrameSource &source, const std::function<void(media::Frame &)> &filter,
                           media::FrameSink &sink, PipelineObserver *observer, const PipelineOptions &options) {
    BoundedQueue<media::Frame> toFilter(std::max<size_t>(options.readAhead, 1));
    BoundedQueue<media::Frame> toWrite(std::max<size_t>(options.writeBehind, 1));
    FirstFailure failure;
    std::atomic<bool> readFailed{false}, writeFailed{false};
    std::atomic<int64_t> written{0};
    auto stopRequested = [&] { return options.stop != nullptr && options.stop->load(); };

    std::thread reader([&] {
        try {
            for (;;) {
                if (stopRequested() || writeFailed) break;
                media::Frame frame;
                if (!source.next(frame) || !toFilter.push(std::move(frame))) break;
            }
        } catch (const std::exception &error) {
            failure.record(error.what());
            readFailed = true;
        }
        toFilter.close();
    });

    std::mutex sinkMutex; // an ordered sink takes one frame at a time, in order
    auto writeFrames = [&] {
        while (auto frame = toWrite.pop()) {
            if (writeFailed) continue;
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
        }
    };
    const size_t writerCount = sink.unordered() ? std::max<size_t>(options.writers, 1) : 1;
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
            continue;
        }
        if (!toWrite.push(std::move(*frame))) break;
    }
    toFilter.abandon(); // lets the reader go if it waits for room
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
