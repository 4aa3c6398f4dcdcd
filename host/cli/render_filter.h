// The filter step of a render, frame by frame: the depth the output keeps,
// a fresh module at each generator history, and a count of the frames that
// lie outside the scene's range.
#ifndef KIVO_HOST_CLI_RENDER_FILTER_H
#define KIVO_HOST_CLI_RENDER_FILTER_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "host/cli/filter_chain.h"
#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

// A frame's full-precision samples: kept where the output keeps them (said
// once, since the filter changes colour at 8 bits), dropped otherwise.
class DepthGuard {
public:
    DepthGuard(bool keep, std::ostream &err) : keep_(keep), err_(err) {}
    void apply(media::Frame &frame);

private:
    bool keep_;
    std::ostream &err_;
    bool warned_ = false;
};

// The scene's filter chain for the history of the frame at hand: the module
// carries its generator from frame to frame, so each history starts on a
// freshly loaded one. The first may open the module file itself; the later
// ones each open a private copy of it.
class HistoryChains {
public:
    // report: a --jobs worker's progress lines, "S h" as history h starts.
    HistoryChains(const scene::Scene &scene, std::string modulePath, std::ostream &err, int32_t firstFrame,
                  bool report);
    void process(media::Frame &frame, ChainProgress *progress);

private:
    const scene::Scene &scene_;
    std::string modulePath_;
    std::ostream &err_;
    bool report_;
    int64_t history_;
    std::unique_ptr<FilterChain> chain_;
};

// Frames written outside the scene's range, where its items hold their
// first or last keys: counted, then said once.
class OutsideRange {
public:
    explicit OutsideRange(const scene::Scene &scene) : first_(scene.firstFrame), last_(scene.lastFrame) {}
    void count(int32_t frame) { (frame < first_ ? before_ : frame > last_ ? after_ : within_)++; }
    // One warning line when there were any; nothing otherwise.
    void report(std::ostream &err) const;

private:
    int32_t first_, last_;
    int64_t before_ = 0, after_ = 0, within_ = 0;
};

} // namespace kivo::cli

#endif
