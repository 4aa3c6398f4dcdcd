// The render pipeline's threads and failures, the progress display, the
// frame range option and the kinds of endpoints, with stand-in sources,
// filters and sinks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "host/cli/cli_options.h"
#include "host/cli/progress_display.h"
#include "host/cli/render_endpoints.h"
#include "host/cli/render_pipeline.h"
#include "host/media/atomic_file.h"

using namespace kivo;
using namespace kivo::cli;

namespace {

// Frames 1..count of 2x1 pixels holding their number; fails when asked for
// frame failAt.
class CountingSource : public media::FrameSource {
public:
    CountingSource(int count, int failAt = 0) : count_(count), failAt_(failAt) {}
    bool next(media::Frame &frame) override {
        if (next_ > count_) return false;
        if (next_ == failAt_) throw media::FileError("f" + std::to_string(next_), "unreadable");
        frame.number = next_++;
        frame.image = host::RgbaImage(2, 1);
        frame.image.pixels[0] = static_cast<uint8_t>(frame.number);
        return true;
    }
    std::optional<int64_t> count() const override { return count_; }
    int next_ = 1;

private:
    int count_, failAt_;
};

class RecordingSink : public media::FrameSink {
public:
    RecordingSink(bool unordered, int failAt = 0) : unordered_(unordered), failAt_(failAt) {}
    void write(const media::Frame &frame) override {
        if (frame.number == failAt_) throw media::FileError("out" + std::to_string(frame.number), "disk full");
        std::lock_guard lock(mutex_);
        order.push_back(frame.number);
        values.push_back(frame.image.pixels[0]);
    }
    bool unordered() const override { return unordered_; }
    std::mutex mutex_;
    std::vector<int> order, values;

private:
    bool unordered_;
    int failAt_;
};

// The filter doubles the first byte and records the order it saw.
struct Doubler {
    std::vector<int> seen;
    std::thread::id thread;
    void operator()(media::Frame &frame) {
        seen.push_back(frame.number);
        thread = std::this_thread::get_id();
        frame.image.pixels[0] = static_cast<uint8_t>(frame.image.pixels[0] * 2);
    }
};

} // namespace

TEST(RenderPipeline, EveryFrameFilteredInOrderOnTheCallingThread) {
    CountingSource source(20);
    RecordingSink sink(false);
    Doubler filter;
    PipelineOptions options;
    options.writers = 3; // ignored for an ordered sink
    const PipelineResult result = runPipeline(source, std::ref(filter), sink, nullptr, options);
    EXPECT_EQ(result.framesWritten, 20);
    EXPECT_FALSE(result.error);
    std::vector<int> all(20);
    for (int i = 0; i < 20; ++i)
        all[i] = i + 1;
    EXPECT_EQ(filter.seen, all);
    EXPECT_EQ(sink.order, all); // a stream keeps the order
    EXPECT_EQ(filter.thread, std::this_thread::get_id());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(sink.values[i], 2 * (i + 1));
}

TEST(RenderPipeline, SeveralWritersWriteEveryFrameOnce) {
    CountingSource source(50);
    RecordingSink sink(true);
    Doubler filter;
    PipelineOptions options;
    options.writers = 3;
    const PipelineResult result = runPipeline(source, std::ref(filter), sink, nullptr, options);
    EXPECT_EQ(result.framesWritten, 50);
    EXPECT_EQ(std::set<int>(sink.order.begin(), sink.order.end()).size(), 50u);
}

#if defined(__linux__)
// With fewer cores than threads, the reader and the writers of image files
// give way to the filter; a video's writer (an ordered sink: its encoder is
// serial too) does not.
TEST(RenderPipeline, ReaderAndImageWritersRunBelowTheFilter) {
    auto niceOfThisThread = [] { return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())); };
    if (niceOfThisThread() >= 19) GTEST_SKIP() << "already at the lowest priority";
    struct NiceSource : CountingSource {
        using CountingSource::CountingSource;
        int (*probe)() = nullptr;
        int seen = 0;
        bool next(media::Frame &frame) override {
            seen = probe();
            return CountingSource::next(frame);
        }
    };
    struct NiceSink : RecordingSink {
        using RecordingSink::RecordingSink;
        int (*probe)() = nullptr;
        std::atomic<int> seen{0};
        void write(const media::Frame &frame) override {
            seen = probe();
            RecordingSink::write(frame);
        }
    };
    for (const bool unordered : {true, false}) {
        SCOPED_TRACE(unordered ? "frames in any order" : "frames in order");
        NiceSource source(6);
        NiceSink sink(unordered);
        source.probe = sink.probe = niceOfThisThread;
        int filterNice = -100;
        PipelineOptions options;
        options.writers = 2;
        runPipeline(source, [&](media::Frame &) { filterNice = niceOfThisThread(); }, sink, nullptr, options);
        EXPECT_EQ(filterNice, niceOfThisThread());
        EXPECT_GT(source.seen, filterNice);
        if (unordered)
            EXPECT_GT(sink.seen, filterNice);
        else
            EXPECT_EQ(sink.seen, filterNice);
    }
}
#endif

TEST(RenderPipeline, ReadFailureKeepsTheFramesBeforeIt) {
    CountingSource source(10, 6);
    RecordingSink sink(false);
    Doubler filter;
    const PipelineResult result = runPipeline(source, std::ref(filter), sink, nullptr, {});
    EXPECT_EQ(result.error, "f6: unreadable");
    EXPECT_EQ(sink.order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(result.framesWritten, 5);
}

TEST(RenderPipeline, WriteFailureStopsReadingAndFiltering) {
    CountingSource source(1000);
    RecordingSink sink(false, 3);
    Doubler filter;
    const PipelineResult result = runPipeline(source, std::ref(filter), sink, nullptr, {});
    EXPECT_EQ(result.error, "out3: disk full");
    EXPECT_EQ(sink.order, (std::vector<int>{1, 2}));
    EXPECT_LT(source.next_, 20); // stopped soon after, not at the end of the source
}

TEST(RenderPipeline, FilterFailureIsReported) {
    CountingSource source(5);
    RecordingSink sink(false);
    auto failing = [](media::Frame &frame) {
        if (frame.number == 2) throw std::runtime_error("module trouble");
    };
    const PipelineResult result = runPipeline(source, failing, sink, nullptr, {});
    EXPECT_EQ(result.error, "module trouble");
    EXPECT_EQ(sink.order, (std::vector<int>{1}));
}

TEST(RenderPipeline, StopFlagEndsEarlyWithFinishedFramesWritten) {
    CountingSource source(1000);
    RecordingSink sink(false);
    std::atomic<bool> stop{false};
    auto stopAtFour = [&](media::Frame &frame) {
        if (frame.number == 4) stop = true;
    };
    PipelineOptions options;
    options.stop = &stop;
    const PipelineResult result = runPipeline(source, stopAtFour, sink, nullptr, options);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.error);
    ASSERT_GE(sink.order.size(), 4u);
    EXPECT_LT(sink.order.size(), 10u);
    for (size_t i = 0; i < sink.order.size(); ++i)
        EXPECT_EQ(sink.order[i], int(i) + 1);
}

// Frames come back to the reader once written: with no room beyond one frame
// for the reader, the filter and the writer, three frames are ever made, and
// each keeps its pixels.
TEST(RenderPipeline, FramesAreRecycledWithinTheirBudget) {
    class ReusingSource : public media::FrameSource {
    public:
        bool next(media::Frame &frame) override {
            if (next_ > 40) return false;
            if (frame.image.pixels.empty()) {
                ++made;
                frame.image = host::RgbaImage(64, 64);
            }
            frame.number = next_;
            frame.image.pixels[0] = static_cast<uint8_t>(next_++);
            return true;
        }
        std::optional<int64_t> count() const override { return 40; }
        int made = 0;

    private:
        int next_ = 1;
    } source;
    RecordingSink sink(false);
    Doubler filter;
    PipelineOptions options;
    options.frameBudget = 0;
    const PipelineResult result = runPipeline(source, std::ref(filter), sink, nullptr, options);
    EXPECT_EQ(result.framesWritten, 40);
    EXPECT_LE(source.made, 3);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(sink.values[i], static_cast<uint8_t>(2 * (i + 1)));
}

TEST(ProgressDisplay, StatusCountsFramesRateAndTimeLeft) {
    std::ostringstream out;
    ProgressDisplay display(out, 0, 10);
    const auto start = ProgressDisplay::Clock::now();
    EXPECT_EQ(display.statusLine(start), "0/10 frames, 0:00 elapsed");
    display.beginStage(7, 1, 2);
    display.init(480);
    display.step(240);
    for (int i = 0; i < 4; ++i)
        display.frameWritten(i);
    // Half of the second of two instances: three quarters of the frame.
    EXPECT_EQ(display.statusLine(start + std::chrono::seconds(2)),
              "4/10 frames, frame 7 75%, 2.0 fps, 0:03 left, 0:02 elapsed");
}

TEST(ProgressDisplay, PlainLinesWhenNotATerminalAndAFinalLine) {
    std::ostringstream out;
    ProgressDisplay display(out, 0, 3);
    for (int i = 0; i < 3; ++i)
        display.frameWritten(i);
    display.finish();
    const std::string text = out.str();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find("\x1b"), std::string::npos);
    EXPECT_NE(text.find("vidmixer: 3/3 frames"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProgressDisplay, TerminalBarRedrawsOneLine) {
    std::ostringstream out;
    ProgressDisplay display(out, 80, 4);
    display.frameWritten(1);
    display.frameWritten(2);
    display.frameWritten(3);
    display.frameWritten(4); // the last frame is always drawn
    display.finish();
    const std::string text = out.str();
    EXPECT_NE(text.find("\r[" + std::string(30, '#') + "] 4/4 frames"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(ProgressDisplay, UnknownTotalShowsNoBarOrTimeLeft) {
    std::ostringstream out;
    ProgressDisplay display(out, 80, std::nullopt);
    display.frameWritten(1);
    EXPECT_EQ(display.statusLine(ProgressDisplay::Clock::now() + std::chrono::seconds(1)).find("left"),
              std::string::npos);
}

TEST(Durations, MinutesAndHours) {
    EXPECT_EQ(formatDuration(0), "0:00");
    EXPECT_EQ(formatDuration(65.4), "1:05");
    EXPECT_EQ(formatDuration(7380), "2:03:00");
    EXPECT_EQ(formatDuration(-3), "0:00");
}

TEST(FrameRangeOption, Forms) {
    EXPECT_EQ(parseFrameRange("1-60").first, 1);
    EXPECT_EQ(parseFrameRange("1-60").last, 60);
    EXPECT_EQ(parseFrameRange("-5--1").first, -5);
    EXPECT_EQ(parseFrameRange("-5--1").last, -1);
    EXPECT_EQ(parseFrameRange("7").last, 7);
    for (const char *bad : {"", "-", "1-", "a-b", "5-1", "1-2-3", "1 - 2", "99999999999-1"})
        EXPECT_THROW(parseFrameRange(bad), std::invalid_argument) << bad;
}

// The kind of an endpoint follows its file name alone: a placeholder in the
// file name (not its folder) makes a sequence, an image format's extension
// in any case one image.
TEST(Endpoints, KindsByName) {
    const std::pair<const char *, EndpointKind> cases[] = {
        {"-", EndpointKind::Stream},           {"f/####.png", EndpointKind::Sequence},
        {"f/a.%04d.exr", EndpointKind::Sequence}, {"shot#1/out.mp4", EndpointKind::Video},
        {"still.PNG", EndpointKind::Image},    {"a.b/c.tiff", EndpointKind::Image},
        {"clip.mkv", EndpointKind::Video},     {"noextension", EndpointKind::Video},
        {"x.png/y.mov", EndpointKind::Video},
    };
    for (const auto &[path, kind] : cases)
        EXPECT_EQ(describeEndpoint(path).kind, kind) << path;
}
