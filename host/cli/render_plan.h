// Which frames a render runs through the module, and which of them it
// writes. The module carries its generator from frame to frame, so a frame
// depends on the frames run before it in its history (the scene's range, or
// one of its segments). To give the frames of an uninterrupted render, a
// render that starts inside a history first replays the history's earlier
// frames: it reads and filters them, and writes nothing.
#ifndef KIVO_HOST_CLI_RENDER_PLAN_H
#define KIVO_HOST_CLI_RENDER_PLAN_H

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/cli/render_endpoints.h"
#include "host/media/frame_pattern.h"
#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

// Share index of count shares ("I/N" on the command line).
struct Share {
    int32_t index = 0, count = 1;
};

// "I/N" with 0 <= I < N; throws UsageError.
Share parseShare(const std::string &text);

struct RenderPlan {
    std::vector<int32_t> run;       // every frame the module sees, in order (known for a sequence or a video)
    std::set<int32_t> replayOnly;   // those of them that are not written
    int64_t written() const { return static_cast<int64_t>(run.size() - replayOnly.size()); }

    bool known = false;     // the frames are known beforehand: run holds them
    bool finished = false;  // an input whose frames are all finished already (--resume)
    int32_t firstFrame = 0; // the first frame the module sees
    int64_t mine = 0;       // the input's frames of this render's share, finished or not
    // --resume: finished frames that are kept, and those that did not decode
    // and are rendered again.
    int64_t kept = 0;
    std::vector<int32_t> redone;
    // An input that cannot be replayed, starting inside a history: the
    // frame that history starts at.
    std::optional<int32_t> notReplayedFrom;
};

struct PlanRequest {
    std::optional<media::FrameRange> frames;
    std::optional<int32_t> start; // the number of a video's, stream's or image's first frame
    bool replay = true;
    bool autorotate = true; // a video's frames are turned upright (their size for --resume)
    bool resume = false;
    std::optional<Share> share;
};

// The frames of a render. A sequence's and a video's are known beforehand,
// resumed and shared as asked; a sequence's output must spare its input
// frames. Other inputs start at their first frame, --frames' first or the
// scene's. Throws FileError.
RenderPlan planRender(const scene::Scene &scene, const RenderEndpoints &ends, const PlanRequest &request);

// Throws FileError naming the output files the render would replace (a
// video or image, or frames the render writes), or the input that the
// output is.
void refuseOverwrite(const RenderEndpoints &ends, const RenderPlan &plan, std::optional<media::FrameRange> frames);

// The histories of frames, in increasing order, each once.
std::vector<int64_t> historiesOf(const scene::Scene &scene, const std::vector<int32_t> &frames);

// The histories of a share: the share-th of count nearly equal runs of
// consecutive entries.
std::vector<int64_t> shareOf(const std::vector<int64_t> &histories, Share share);

// The frames an uninterrupted render runs through the module before frame
// in its history, which a render starting at frame replays: the input's
// frames (present, increasing) from the history's start up to frame - 1.
std::vector<int32_t> framesToReplayBefore(const scene::Scene &scene, const std::vector<int32_t> &present,
                                          int32_t frame);

// Frames to write (of present, in increasing order), and what the module
// must run for them: with replay, each history from its first input frame
// on; without, only the frames written. checkSpan, when given, is called
// with each history's span that runs (a sequence throws FileError for a
// frame missing inside it).
RenderPlan planRun(const scene::Scene &scene, const std::vector<int32_t> &present, const std::vector<int32_t> &toWrite,
                   bool replay, const std::function<void(media::FrameRange)> &checkSpan = {});

// For --resume: splits checkFrames into those on disk in the output that
// decode with the inputs' size (kept) and the rest. Throws FileError when an
// output file of the pattern has no input frame, or has another size: the
// pattern holds another render's frames.
struct ResumeState {
    std::vector<int32_t> kept, missing, undecodable;
};
ResumeState checkOutputs(const media::FramePattern &output, const std::vector<int32_t> &inputFrames,
                         const std::vector<int32_t> &checkFrames, int32_t width, int32_t height);

} // namespace kivo::cli

#endif
