#include "host/cli/progress_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace kivo::cli {

namespace {
constexpr auto kTerminalInterval = std::chrono::milliseconds(100);
constexpr auto kPlainInterval = std::chrono::seconds(2);
} // namespace

int stderrTerminalWidth() {
    if (!::isatty(STDERR_FILENO)) return 0;
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

std::string formatDuration(double seconds) {
    const auto total = static_cast<int64_t>(std::llround(std::max(seconds, 0.0)));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                      static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(total / 60),
                      static_cast<long long>(total % 60));
    return text;
}

ProgressDisplay::ProgressDisplay(std::ostream &out, int terminalWidth, std::optional<int64_t> total,
                                 int64_t replayTotal)
    : out_(out), width_(terminalWidth), total_(total), replayTotal_(replayTotal) {}

void ProgressDisplay::beginStage(int32_t frame, size_t stage, size_t stages) {
    {
        std::lock_guard lock(mutex_);
        currentFrame_ = frame;
        inFrame_ = true;
        stage_ = stage;
        stages_ = std::max<size_t>(stages, 1);
        monitorTotal_ = monitorDone_ = 0;
    }
    show(false);
}

void ProgressDisplay::init(int32_t total) {
    std::lock_guard lock(mutex_);
    monitorTotal_ = total;
    monitorDone_ = 0;
}

void ProgressDisplay::step(int32_t amount) {
    {
        std::lock_guard lock(mutex_);
        monitorDone_ += amount;
    }
    show(false);
}

void ProgressDisplay::done() {
    std::lock_guard lock(mutex_);
    monitorDone_ = monitorTotal_;
}

void ProgressDisplay::frameWritten(int32_t) {
    bool last;
    {
        std::lock_guard lock(mutex_);
        ++written_;
        last = total_ && written_ == *total_;
    }
    show(last);
}

void ProgressDisplay::frameReplayed(int32_t) {
    {
        std::lock_guard lock(mutex_);
        ++replayed_;
    }
    show(false);
}

double ProgressDisplay::frameFraction() const {
    const double within = monitorTotal_ > 0 ? std::clamp(double(monitorDone_) / double(monitorTotal_), 0.0, 1.0) : 0.0;
    return (double(stage_) + within) / double(stages_);
}

std::string ProgressDisplay::statusLine(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return statusLocked(now);
}

std::string ProgressDisplay::statusLocked(Clock::time_point now) const {
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string line;
    // Replayed frames come before the first written one of their history.
    if (replayed_ < replayTotal_)
        line = "replaying " + std::to_string(replayed_) + "/" + std::to_string(replayTotal_) + " frames, ";
    line += std::to_string(written_);
    if (total_) line += "/" + std::to_string(*total_);
    line += " frames";
    if (inFrame_ && (!total_ || written_ < *total_)) {
        char within[48];
        std::snprintf(within, sizeof within, ", frame %d %d%%", currentFrame_,
                      static_cast<int>(frameFraction() * 100.0));
        line += within;
    }
    if (written_ > 0 && elapsed > 0) {
        const double fps = double(written_) / elapsed;
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.1f fps", fps);
        line += rate;
        if (total_ && written_ < *total_) line += ", " + formatDuration(double(*total_ - written_) / fps) + " left";
    }
    line += ", " + formatDuration(elapsed) + " elapsed";
    return line;
}

void ProgressDisplay::show(bool force) {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    if (finished_) return;
    if (!force && now - lastShown_ < (width_ > 0 ? kTerminalInterval : kPlainInterval)) return;
    lastShown_ = now;
    writtenShown_ = written_;

    const std::string status = statusLocked(now);
    if (width_ == 0) {
        out_ << "vidmixer: " << status << '\n' << std::flush;
        return;
    }
    std::string bar;
    // A bar of steady width where the terminal has room for it and the status.
    const int barWidth = width_ >= 80 ? 30 : 0;
    if (total_ && *total_ > 0 && barWidth > 0) {
        const double fraction = std::clamp(double(written_) / double(*total_), 0.0, 1.0);
        const int filled = static_cast<int>(fraction * barWidth);
        bar = "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "] ";
    }
    std::string text = bar + status;
    if (static_cast<int>(text.size()) >= width_) text.resize(std::max(width_ - 1, 0));
    out_ << '\r' << text << "\x1b[K" << std::flush;
    drewBar_ = true;
}

void ProgressDisplay::finish() {
    bool stale;
    {
        std::lock_guard lock(mutex_);
        stale = writtenShown_ != written_;
    }
    if (stale) show(true);
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    if (drewBar_) out_ << '\n' << std::flush;
}

} // namespace kivo::cli
