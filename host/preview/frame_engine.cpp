#include "host/preview/frame_engine.h"

#include <algorithm>

#include "host/cli/render_plan.h"
#include "host/media/atomic_file.h"

namespace kivo::preview {

FrameEngine::FrameEngine(const PreviewInput &input, std::string modulePath)
    : input_(input), modulePath_(std::move(modulePath)) {}

FrameEngine::~FrameEngine() { release(); }

void FrameEngine::release() {
    frames_.reset();
    chain_.reset();
    shown_ = false;
    reuseSource_ = false;
}

bool FrameEngine::continues(const scene::Scene &scene, uint64_t version, int32_t number) const {
    return chain_ && version == version_ && scene.historyOf(number) == history_ && number >= last_ &&
           (number > last_ || shown_);
}

void FrameEngine::startHistory(const scene::Scene &scene, uint64_t version, int32_t number) {
    release();
    // Where a render of the whole input starts this frame's history, up to
    // the history's last input frame, so that playing on continues it.
    const std::vector<int32_t> replay = cli::framesToReplayBefore(scene, input_.present(), number);
    const int32_t from = replay.empty() ? number : replay.front();
    const int64_t history = scene.historyOf(number);
    int32_t to = input_.last();
    if (scene.historyOf(to) != history) {
        const int64_t nextStart = scene.historyStart(history + 1);
        to = static_cast<int32_t>(std::clamp<int64_t>(nextStart - 1, number, input_.last()));
    }
    // Each history in a freshly loaded module, as a render runs it.
    chain_ = std::make_unique<cli::FilterChain>(scene, modulePath_, nullptr, true);
    // A frame shown again after an edit is not read again.
    reuseSource_ = sourceKept_ && shownPair_.source.number == from;
    if (!reuseSource_)
        frames_ = input_.frames(from, to);
    else if (from < to)
        frames_ = input_.frames(from + 1, to);
    version_ = version;
    history_ = history;
    last_ = from - 1;
}

bool FrameEngine::read(media::Frame &frame) {
    if (reuseSource_) {
        reuseSource_ = false;
        frame = shownPair_.source;
        return true;
    }
    return frames_ && frames_->next(frame);
}

const FramePair *FrameEngine::frame(const scene::Scene &scene, uint64_t version, int32_t number, const Watch &watch) {
    if (number < input_.first() || number > input_.last())
        throw std::out_of_range("frame " + std::to_string(number) + " is outside the input's frames " +
                                std::to_string(input_.first()) + " to " + std::to_string(input_.last()));
    if (!continues(scene, version, number)) startHistory(scene, version, number);
    if (last_ == number && shown_) return &shownPair_;
    const int64_t total = int64_t{number} - last_ - 1;
    try {
        media::Frame &frame = work_; // its buffers serve every frame
        for (int64_t done = 0; last_ < number; ++done) {
            if (done > 0 && watch.stopped && watch.stopped()) return nullptr;
            shown_ = false;
            if (!read(frame))
                throw media::FileError(input_.path(), "frame " + std::to_string(last_ + 1) + " cannot be read");
            last_ = frame.number;
            if (frame.number == number) {
                shownPair_.source = frame;
                sourceKept_ = true;
            }
            chain_->process(frame);
            if (frame.number < number && watch.replaying) watch.replaying(done + 1, total);
        }
        std::swap(shownPair_.result, frame);
        shown_ = true;
        return &shownPair_;
    } catch (...) {
        release();
        throw;
    }
}

} // namespace kivo::preview
