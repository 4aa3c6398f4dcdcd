#include "host/cli/render_filter.h"

#include <unistd.h>

namespace kivo::cli {

void DepthGuard::apply(media::Frame &frame) {
    if (frame.deep.empty()) return;
    if (!keep_) {
        frame.deep.clear();
        frame.sampleType = "uint8";
        return;
    }
    if (warned_) return;
    warned_ = true;
    const bool floating = frame.sampleType == "half" || frame.sampleType == "float" || frame.sampleType == "double";
    err_ << "vidmixer: warning: frame " << frame.number << " has " << frame.sampleType
         << " samples: the output keeps them where the filter leaves a channel unchanged, but colour the filter "
            "changes passes through it at 8 bits"
         << (floating ? ", with values outside 0..1 clipped" : "") << " (--depth 8 writes 8-bit files)\n";
}

namespace {
void reportHistory(bool report, int64_t history) {
    if (!report) return;
    const std::string text = "S " + std::to_string(history) + "\n";
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}
} // namespace

HistoryChains::HistoryChains(const scene::Scene &scene, std::string modulePath, std::ostream &err,
                             int32_t firstFrame, bool report)
    : scene_(scene), modulePath_(std::move(modulePath)), err_(err), report_(report),
      history_(scene.historyOf(firstFrame)), chain_(std::make_unique<FilterChain>(scene, modulePath_, &err)) {
    reportHistory(report_, history_);
}

void HistoryChains::process(media::Frame &frame, ChainProgress *progress) {
    const int64_t history = scene_.historyOf(frame.number);
    if (history != history_) {
        // Frames numbered by time stand alone: the chain's module need not start afresh.
        if (!scene_.millisecondNumbers) {
            chain_.reset();
            chain_ = std::make_unique<FilterChain>(scene_, modulePath_, &err_, true);
        }
        history_ = history;
        reportHistory(report_, history_);
    }
    chain_->process(frame, progress);
}

void OutsideRange::report(std::ostream &err) const {
    const int64_t outside = before_ + after_;
    if (outside == 0) return;
    const auto frames = [](int64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); };
    std::string where;
    if (before_ > 0) where = frames(before_) + " before it";
    if (after_ > 0) where += (where.empty() ? "" : " and ") + frames(after_) + " after it";
    err << "vidmixer: warning: " << frames(outside) << " of " << outside + within_ << " lie outside the scene's range, "
        << "frames " << first_ << " to " << last_ << " (" << where << "): they are filtered with the scene's items "
        << "held at their first or last keys, so a fade keyed over the range stays as it is at that end "
        << "(`vidmixer new SCENE --from INPUT` makes a scene of the input's range)\n";
}

} // namespace kivo::cli
