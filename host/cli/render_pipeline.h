// Moves frames from a source through a filter to a sink: reading runs ahead
// on one thread, finished frames are written behind on others, and the
// filter runs on the calling thread, one frame at a time, in order.
#ifndef KIVO_HOST_CLI_RENDER_PIPELINE_H
#define KIVO_HOST_CLI_RENDER_PIPELINE_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "host/media/frame_sink.h"
#include "host/media/frame_source.h"

namespace kivo::cli {

class PipelineObserver {
public:
    virtual ~PipelineObserver() = default;
    virtual void frameWritten(int32_t /*frame*/) {}
    virtual void frameReplayed(int32_t /*frame*/) {}
};

struct PipelineOptions {
    size_t readAhead = 2;                    // decoded frames waiting for the filter, at most
    size_t writeBehind = 2;                  // filtered frames waiting for a writer, at most
    // The frames in flight (read, queued, filtered or being written) are
    // recycled, and their number is limited by their size: beyond one for
    // the reader, the filter and each writer, only as many as fit in this
    // many bytes.
    size_t frameBudget = size_t{64} << 20;
    size_t writers = 1;                      // used only when the sink takes frames in any order
    const std::atomic<bool> *stop = nullptr; // set (by a signal) to end early
    // Frames that are filtered but not written: they only bring the module's
    // history up to the frames that are. None when empty.
    std::function<bool(int32_t)> replayOnly;
};

struct PipelineResult {
    int64_t framesWritten = 0;
    std::optional<std::string> error; // the first failure, one line
    bool stopped = false;             // ended early by the stop flag
};

// Never throws for a failing frame: the first failure ends reading and
// filtering, every frame already filtered is still written (unless writing
// itself failed), and the failure comes back in the result.
PipelineResult runPipeline(media::FrameSource &source, const std::function<void(media::Frame &)> &filter,
                           media::FrameSink &sink, PipelineObserver *observer, const PipelineOptions &options);

} // namespace kivo::cli

#endif
