#include "host/cli/render_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "host/cli/cli_options.h"
#include "host/cli/instance_settings.h"
#include "host/cli/filter_chain.h"
#include "host/cli/progress_display.h"
#include "host/cli/render_jobs.h"
#include "host/cli/render_plan.h"
#include "host/cli/stop_signals.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_sink.h"
#include "host/media/image_file.h"
#include "host/media/video_file.h"
#include "host/scene/scene_file.h"

namespace kivo::cli {
namespace {

struct Endpoints {
    std::unique_ptr<media::FrameSource> source;
    std::unique_ptr<media::FrameSink> sink;
    media::VideoSource *video = nullptr;  // the source, when it is a video file
    media::VideoSink *videoOut = nullptr; // the sink, when it is a video file
};

// One spelling per file, to tell whether the output is the input.
std::string fileKey(const std::string &path) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return error ? path : canonical.string();
}

std::string rateText(media::FrameRate rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", rate.value());
    std::string shown = text;
    while (shown.back() == '0')
        shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    return shown + " fps";
}

std::unique_ptr<media::VideoSink> openVideoSink(const RenderRequest &request, const scene::Scene &scene,
                                                const media::VideoSource *video, std::ostream &err) {
    if (video != nullptr && fileKey(request.output) == fileKey(video->path()))
        throw media::FileError(request.output, "the output would overwrite the input video; choose another output");
    media::VideoOutputOptions options;
    options.codec = request.codec;
    for (const std::string &option : request.codecOptions) {
        const auto equals = option.find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::invalid_argument("--codec-option takes KEY=VALUE, not \"" + option + "\"");
        options.codecOptions.emplace_back(option.substr(0, equals), option.substr(equals + 1));
    }
    options.frameRate = video != nullptr && video->frameRate().num > 0 ? video->frameRate()
                                                                       : media::frameRateOf(scene.fps);
    if (video != nullptr) options.alpha = video->hasAlpha();
    options.copyFrom = video;
    options.copyStreams = !request.noAudio;
    options.warn = [&err](const std::string &message) { err << "vidmixer: warning: " << message << "\n"; };
    return std::make_unique<media::VideoSink>(request.output, std::move(options));
}

// Options that only a raw stream input takes.
void refuseStreamOptions(const RenderRequest &request) {
    if (!request.size.empty())
        throw std::invalid_argument("--size is for a raw stream on standard input (-i -); an image sequence "
                                    "has the size of its first frame");
    if (request.start)
        throw std::invalid_argument("--start numbers the frames of a stream (-i -); an image sequence takes "
                                    "the numbers in its file names");
}

Endpoints openEndpoints(const RenderRequest &request, const scene::Scene &scene, std::ostream &err) {
    Endpoints ends;
    std::optional<media::FramePattern> inputPattern;
    std::vector<int32_t> inputFrames;
    if (request.input != "-" && media::isVideoPath(request.input)) {
        if (!request.size.empty())
            throw std::invalid_argument("--size is for a raw stream on standard input (-i -); a video has its own");
        auto video = std::make_unique<media::VideoSource>(request.input, request.start.value_or(scene.firstFrame),
                                                          request.frames);
        const media::FrameRate rate = video->frameRate();
        if (rate.num > 0 && std::abs(rate.value() - scene.fps) > 1e-3 * scene.fps)
            err << "vidmixer: warning: " << request.input << " runs at " << rateText(rate) << ", the scene at "
                << rateText(media::frameRateOf(scene.fps)) << "; the looks' time follows the scene's "
                << rateText(media::frameRateOf(scene.fps)) << "\n";
        ends.video = video.get();
        ends.source = std::move(video);
    } else if (request.input == "-") {
        if (request.size.empty()) throw std::invalid_argument("a stream input (-i -) needs --size WIDTHxHEIGHT");
        if (request.frames && request.start) throw std::invalid_argument("give --frames or --start, not both");
        int32_t width = 0, height = 0;
        media::parseFrameSize(request.size, width, height);
        const int32_t first = request.frames ? request.frames->first : request.start.value_or(scene.firstFrame);
        std::optional<int64_t> limit;
        if (request.frames) limit = int64_t{request.frames->last} - request.frames->first + 1;
        ends.source =
            std::make_unique<media::StreamSource>(STDIN_FILENO, "standard input", width, height, first, limit);
    } else {
        refuseStreamOptions(request);
        inputPattern.emplace(request.input);
        inputFrames = media::sequenceFrames(*inputPattern, request.frames);
        ends.source = std::make_unique<media::SequenceSource>(*inputPattern, inputFrames);
    }

    if (request.output == "-") {
        if (::isatty(STDOUT_FILENO))
            throw std::invalid_argument("standard output is a terminal; send the raw frames (-o -) into a pipe, "
                                        "such as ffmpeg");
        ends.sink = std::make_unique<media::StreamSink>(STDOUT_FILENO, "standard output");
    } else if (media::isVideoPath(request.output)) {
        auto sink = openVideoSink(request, scene, ends.video, err);
        ends.videoOut = sink.get();
        ends.sink = std::move(sink);
    } else {
        media::FramePattern outputPattern(request.output);
        if (inputPattern) media::checkOutputSparesInput(*inputPattern, inputFrames, outputPattern, inputFrames);
        ends.sink = std::make_unique<media::SequenceSink>(outputPattern, request.pngCompression);
    }
    return ends;
}

size_t writerCount(size_t requested) {
    if (requested > kMaxWriters)
        throw std::invalid_argument("--writers must be 1 to " + std::to_string(kMaxWriters));
    if (requested > 0) return requested;
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 2);
}

} // namespace

std::string addSegmentsHint() {
    return "add them with `vidmixer set SCENE segment=K` (K frames each)";
}

namespace {

// Progress lines of a --jobs worker on standard output, read by the parent:
// "S h" when history h starts, "R f" and "W f" for a frame replayed or written.
class WorkerReport : public PipelineObserver {
public:
    static void line(char kind, int64_t value) {
        const std::string text = std::string(1, kind) + " " + std::to_string(value) + "\n";
        [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    }
    void frameWritten(int32_t frame) override { line('W', frame); }
    void frameReplayed(int32_t frame) override { line('R', frame); }
};

std::string framesText(int64_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

} // namespace

int runRender(const RenderRequest &request, std::ostream &err) {
    ignoreBrokenPipes();
    const size_t writers = writerCount(request.writers);
    if (request.jobs < 1) throw UsageError("--jobs must be at least 1 (found " + std::to_string(request.jobs) + ")");
    const std::optional<Share> share =
        request.segments.empty() ? std::nullopt : std::optional<Share>(parseShare(request.segments));
    const bool split = request.jobs > 1 || share;
    const char *splitOption = request.jobs > 1 ? "--jobs" : "--segments";
    if (request.jobs > 1 && share) throw UsageError("give --jobs or --segments, not both");
    // Image sequences can be replayed, resumed and split; streams and videos cannot.
    const bool sequenceIn = request.input != "-" && !media::isVideoPath(request.input);
    const bool sequenceOut = request.output != "-" && !media::isVideoPath(request.output);
    if ((request.resume || split) && !(sequenceIn && sequenceOut))
        throw UsageError(std::string(request.resume ? "--resume" : splitOption) +
                         " needs an image sequence as input and output, not a stream (-) or a video");
    const scene::Scene scene = scene::loadSceneFile(request.scenePath);
    if (split && scene.segment <= 0)
        throw UsageError(std::string(splitOption) + " splits a render into whole segments, and " + request.scenePath +
                         " has none: " + addSegmentsHint());

    if (media::isVideoPath(request.output) && request.output != "-") {
        if (request.noAudio && !media::isVideoPath(request.input))
            throw std::invalid_argument("--no-audio is for a video input");
    } else if (!request.codec.empty() || !request.codecOptions.empty()) {
        throw std::invalid_argument("--codec and --codec-option are for a video output");
    }

    Endpoints ends;
    RenderPlan plan;
    int64_t keptCount = 0, redoneCount = 0;
    int32_t firstFrame = 0;
    if (!sequenceIn) {
        ends = openEndpoints(request, scene, err);
        firstFrame = request.frames ? request.frames->first : request.start.value_or(scene.firstFrame);
        const int64_t history = scene.historyOf(firstFrame);
        const int32_t historyStart = scene.historyStart(history);
        // (Frames before the range, without segments, have no first frame to speak of.)
        if (request.replay && firstFrame > historyStart && (scene.segment > 0 || history >= 0))
            err << "vidmixer: note: " << (request.input == "-" ? "a stream" : "a video")
                << " is not replayed: its frames from " << firstFrame
                << " start a fresh generator history instead of continuing the one from frame " << historyStart
                << "\n";
    } else {
        refuseStreamOptions(request);
        media::FramePattern inputPattern(request.input);
        const std::vector<int32_t> frames = media::sequenceFrames(inputPattern, request.frames);
        std::vector<int32_t> mine = frames;
        if (share) {
            const std::vector<int64_t> histories = shareOf(historiesOf(scene, frames), *share);
            std::erase_if(mine, [&](int32_t frame) {
                return !std::binary_search(histories.begin(), histories.end(), scene.historyOf(frame));
            });
        }
        std::optional<media::FramePattern> outputPattern;
        if (sequenceOut) {
            outputPattern.emplace(request.output);
            media::checkOutputSparesInput(inputPattern, frames, *outputPattern, frames);
        }
        std::vector<int32_t> toWrite = mine;
        if (request.resume) {
            const media::DecodedImage first = media::readImageFile(inputPattern.pathOf(frames.front()));
            const ResumeState state =
                checkOutputs(*outputPattern, inputPattern.discover(), mine, first.image.width, first.image.height);
            toWrite = state.missing;
            toWrite.insert(toWrite.end(), state.undecodable.begin(), state.undecodable.end());
            std::sort(toWrite.begin(), toWrite.end());
            keptCount = static_cast<int64_t>(state.kept.size());
            redoneCount = static_cast<int64_t>(state.undecodable.size());
            for (int32_t frame : state.undecodable)
                if (!request.quiet)
                    err << "vidmixer: " << outputPattern->pathOf(frame) << ": does not decode; rendering frame "
                        << frame << " again\n";
        }
        if (toWrite.empty()) {
            if (!request.quiet)
                err << "vidmixer: nothing to render: all " << framesText(static_cast<int64_t>(mine.size()))
                    << (share ? " of share " + request.segments : std::string()) << " are finished in "
                    << request.output << "\n";
            return 0;
        }
        plan = planRun(scene, inputPattern, toWrite, request.replay);
        if (request.jobs > 1) return runJobs(request, plan.written(), int64_t(plan.replayOnly.size()), err);
        firstFrame = plan.run.front();
        ends.source = std::make_unique<media::SequenceSource>(inputPattern, plan.run);
        if (outputPattern) {
            ends.sink = std::make_unique<media::SequenceSink>(*outputPattern, request.pngCompression);
        } else {
            Endpoints out = openEndpoints(request, scene, err);
            ends.sink = std::move(out.sink);
            ends.videoOut = out.videoOut;
        }
    }

    // A fresh module for every history: the first one may open the module
    // file itself; the later ones each open a private copy of it.
    const std::string modulePath = modulePathOr(request.module);
    int64_t history = scene.historyOf(firstFrame);
    auto chain = std::make_unique<FilterChain>(scene, modulePath, &err);
    if (request.workerReport) WorkerReport::line('S', history);

    std::unique_ptr<ProgressDisplay> progress;
    if (!request.quiet)
        progress = std::make_unique<ProgressDisplay>(err, stderrTerminalWidth(),
                                                     sequenceIn ? std::optional<int64_t>(plan.written())
                                                                : ends.source->count(),
                                                     static_cast<int64_t>(plan.replayOnly.size()));
    WorkerReport report;
    PipelineObserver *observer = request.workerReport ? static_cast<PipelineObserver *>(&report) : progress.get();
    StopSignals signals;
    PipelineOptions options;
    options.writers = writers;
    options.stop = &StopSignals::flag();
    bool warnedOfDepth = false;
    if (!plan.replayOnly.empty())
        options.replayOnly = [&](int32_t frame) { return plan.replayOnly.count(frame) > 0; };
    const auto start = std::chrono::steady_clock::now();
    PipelineResult result = runPipeline(
        *ends.source,
        [&](media::Frame &frame) {
            if (request.depth8 && !frame.deep.empty()) {
                frame.deep.clear();
                frame.sampleType = "uint8";
            }
            if (!frame.deep.empty() && !warnedOfDepth) {
                warnedOfDepth = true;
                const bool floating = frame.sampleType == "half" || frame.sampleType == "float" ||
                                      frame.sampleType == "double";
                err << "vidmixer: warning: frame " << frame.number << " has " << frame.sampleType
                    << " samples: the output keeps them where the filter leaves a channel unchanged, but colour "
                       "the filter changes passes through it at 8 bits"
                    << (floating ? ", with values outside 0..1 clipped" : "") << " (--depth 8 writes 8-bit files)\n";
            }
            const int64_t frameHistory = scene.historyOf(frame.number);
            if (frameHistory != history) {
                chain.reset();
                chain = std::make_unique<FilterChain>(scene, modulePath, &err, true);
                history = frameHistory;
                if (request.workerReport) WorkerReport::line('S', history);
            }
            chain->process(frame, progress.get());
        },
        *ends.sink, observer, options);
    // A video reaches its name only when every frame went in and it was closed.
    if (ends.videoOut != nullptr && !result.error && !result.stopped && result.framesWritten > 0) {
        try {
            ends.videoOut->finish();
        } catch (const std::exception &error) {
            result.error = error.what();
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) progress->finish();

    const std::string finished = framesText(result.framesWritten) + " finished";
    const std::string unwritten = ends.videoOut != nullptr ? "; " + request.output + " was not written" : "";
    const std::string resumeHint =
        sequenceIn && sequenceOut && result.framesWritten + keptCount > 0
            ? "; run the same command with --resume to render only the missing frames"
            : "";
    if (result.error) {
        err << "vidmixer: " << *result.error << " (" << finished << unwritten << ")" << resumeHint << "\n";
        return 1;
    }
    if (result.stopped) {
        err << "vidmixer: interrupted (" << finished << unwritten << ")" << resumeHint << "\n";
        return 130;
    }
    if (result.framesWritten == 0) {
        err << "vidmixer: " << (request.input == "-" ? "standard input" : request.input) << ": no frames to render\n";
        return 1;
    }
    if (!request.quiet) {
        char rate[64];
        std::snprintf(rate, sizeof rate, " in %.1f s (%.1f fps)", seconds, double(result.framesWritten) / seconds);
        err << "vidmixer: rendered " << framesText(result.framesWritten) << " to "
            << (request.output == "-" ? "standard output" : request.output) << rate;
        if (!plan.replayOnly.empty()) err << ", replaying " << framesText(int64_t(plan.replayOnly.size())) << " first";
        if (keptCount > 0) err << ", keeping " << keptCount << " finished before";
        if (redoneCount > 0) err << " (" << redoneCount << " that did not decode rendered again)";
        err << "\n";
    }
    return 0;
}

int64_t renderSequence(const scene::Scene &scene, const std::string &modulePath, const std::string &input,
                       const std::string &output, std::optional<media::FrameRange> range) {
    media::FramePattern inputPattern(input), outputPattern(output);
    const std::vector<int32_t> frames = media::sequenceFrames(inputPattern, range);
    media::checkOutputSparesInput(inputPattern, frames, outputPattern, frames);
    media::SequenceSource source(inputPattern, frames);
    media::SequenceSink sink(outputPattern);
    FilterChain chain(scene, modulePath);
    PipelineOptions options;
    options.writers = writerCount(0);
    const PipelineResult result = runPipeline(
        source, [&](media::Frame &frame) { chain.process(frame); }, sink, nullptr, options);
    if (result.error) throw std::runtime_error(*result.error);
    return result.framesWritten;
}

} // namespace kivo::cli
