// The frames `vidmixer render` writes, one at a time, for the viewer. The
// module's generator runs on from frame to frame within a history (the
// scene's range, or a segment of it), so the engine keeps the history it
// last ran: a later frame of it continues that run, and any other frame runs
// its history afresh from where a render of the whole input starts it,
// replaying the frames before it.
#ifndef KIVO_HOST_PREVIEW_FRAME_ENGINE_H
#define KIVO_HOST_PREVIEW_FRAME_ENGINE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/cli/filter_chain.h"
#include "host/preview/preview_input.h"
#include "host/scene/scene.h"

namespace kivo::preview {

// A frame as read and as filtered.
struct FramePair {
    media::Frame source, result;
};

class FrameEngine {
public:
    FrameEngine(const PreviewInput &input, std::string modulePath);
    ~FrameEngine();

    struct Watch {
        std::function<void(int64_t done, int64_t total)> replaying; // after each frame run before the one asked for
        std::function<bool()> stopped;                              // asked between frames: give up
    };

    // Frame number of the scene, whose content `version` names (another
    // version runs the history afresh). Null when watch.stopped said so; the
    // frames run until then still count as the history's run. Throws what
    // reading or filtering throws, and the history is then dropped.
    const FramePair *frame(const scene::Scene &scene, uint64_t version, int32_t number, const Watch &watch);

    // Drops the running history and the module with it.
    void release();

private:
    bool continues(const scene::Scene &scene, uint64_t version, int32_t number) const;
    void startHistory(const scene::Scene &scene, uint64_t version, int32_t number);
    bool read(media::Frame &frame);

    const PreviewInput &input_;
    std::string modulePath_;
    std::unique_ptr<cli::FilterChain> chain_;
    std::unique_ptr<media::FrameSource> frames_; // positioned after last_
    uint64_t version_ = 0;
    int64_t history_ = 0;
    int32_t last_ = 0;   // the last frame run
    bool shown_ = false; // shownPair_ holds last_
    FramePair shownPair_;
    media::Frame work_; // the frame being read and filtered
    bool sourceKept_ = false;  // shownPair_.source holds an input frame
    bool reuseSource_ = false; // the history's run starts with it
};

} // namespace kivo::preview

#endif
