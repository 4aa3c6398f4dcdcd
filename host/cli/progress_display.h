// The render's progress on standard error: a bar redrawn in place on a
// terminal (frames written, the current frame's progress from the module's
// monitor, frames per second, time left), or plain lines now and then when
// standard error is not a terminal.
#ifndef KIVO_HOST_CLI_PROGRESS_DISPLAY_H
#define KIVO_HOST_CLI_PROGRESS_DISPLAY_H

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "host/cli/filter_chain.h"
#include "host/cli/render_pipeline.h"

namespace kivo::cli {

class ProgressDisplay : public ChainProgress, public PipelineObserver {
public:
    using Clock = std::chrono::steady_clock;

    // terminalWidth 0: plain lines. total: frames expected, when known.
    // replayTotal: frames run only to bring the module up to the first
    // frame written, shown as a phase of their own.
    ProgressDisplay(std::ostream &out, int terminalWidth, std::optional<int64_t> total, int64_t replayTotal = 0);

    // Module side (the filtering thread).
    void beginStage(int32_t frame, size_t stage, size_t stages) override;
    void init(int32_t total) override;
    void step(int32_t amount) override;
    void done() override;

    // Writer side.
    void frameWritten(int32_t frame) override;
    void frameReplayed(int32_t frame) override;

    // Ends the bar's line; after this nothing more is drawn.
    void finish();

    // The status text at a moment, without terminal codes (for tests).
    std::string statusLine(Clock::time_point now) const;

private:
    void show(bool force);
    std::string statusLocked(Clock::time_point now) const;
    double frameFraction() const;

    std::ostream &out_;
    const int width_;
    const std::optional<int64_t> total_;
    const Clock::time_point start_ = Clock::now();
    mutable std::mutex mutex_;
    Clock::time_point lastShown_{};
    int64_t written_ = 0;
    const int64_t replayTotal_;
    int64_t replayed_ = 0;
    int64_t writtenShown_ = -1;
    int32_t currentFrame_ = 0;
    bool inFrame_ = false;
    size_t stage_ = 0, stages_ = 1;
    int64_t monitorTotal_ = 0, monitorDone_ = 0;
    bool finished_ = false;
    bool drewBar_ = false;
};

// Columns of standard error when it is a terminal, else 0.
int stderrTerminalWidth();

// "1:05", "0:07", "2:03:00".
std::string formatDuration(double seconds);

} // namespace kivo::cli

#endif
