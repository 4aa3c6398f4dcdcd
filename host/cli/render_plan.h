// Which frames a render runs through the module, and which of them it
// writes. The module carries its generator from frame to frame, so a frame
// depends on the frames run before it in its history (the scene's range, or
// one of its segments). To give the frames of an uninterrupted render, a
// render that starts inside a history first replays the history's earlier
// frames: it reads and filters them, and writes nothing.
#ifndef KIVO_HOST_CLI_RENDER_PLAN_H
#define KIVO_HOST_CLI_RENDER_PLAN_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

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
    std::vector<int32_t> run;       // every frame the module sees, in order
    std::set<int32_t> replayOnly;   // those of them that are not written
    int64_t written() const { return static_cast<int64_t>(run.size() - replayOnly.size()); }
};

// The histories of frames, in increasing order, each once.
std::vector<int64_t> historiesOf(const scene::Scene &scene, const std::vector<int32_t> &frames);

// The histories of a share: the share-th of count nearly equal runs of
// consecutive entries.
std::vector<int64_t> shareOf(const std::vector<int64_t> &histories, Share share);

// Frames to write, in increasing order, and what the module must run for
// them: with replay, each history from its first input frame on; without,
// only the frames written. Throws FileError for an input frame missing
// inside a span that has to run.
RenderPlan planRun(const scene::Scene &scene, const media::FramePattern &input, const std::vector<int32_t> &toWrite,
                   bool replay);

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
