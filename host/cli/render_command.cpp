#include "host/cli/render_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "host/cli/cli_options.h"
#include "host/cli/filter_chain.h"
#include "host/cli/instance_settings.h"
#include "host/cli/progress_display.h"
#include "host/cli/render_endpoints.h"
#include "host/cli/render_filter.h"
#include "host/cli/render_jobs.h"
#include "host/cli/render_plan.h"
#include "host/cli/scene_commands.h"
#include "host/cli/stop_signals.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_sink.h"
#include "host/media/image_file.h"
#include "host/media/video_sink.h"
#include "host/media/video_source.h"
#include "host/scene/scene_file.h"

namespace kivo::cli {
namespace {

std::string rateText(media::FrameRate rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", rate.value());
    std::string shown = text;
    while (shown.back() == '0')
        shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    return shown + " fps";
}

std::string framesText(int64_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

// "a video", as notes name an input of the kind.
const char *kindNoun(EndpointKind kind) {
    switch (kind) {
    case EndpointKind::Sequence: return "an image sequence";
    case EndpointKind::Video: return "a video";
    case EndpointKind::Image: return "an image";
    case EndpointKind::Stream: break;
    }
    return "a stream";
}

size_t writerCount(size_t requested) {
    if (requested > kMaxWriters)
        throw std::invalid_argument("--writers must be 1 to " + std::to_string(kMaxWriters));
    if (requested > 0) return requested;
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 2);
}

// --jobs and --segments: at most one of them; the share asked for.
std::optional<Share> checkedShare(const RenderRequest &request) {
    if (request.jobs < 1) throw UsageError("--jobs must be at least 1 (found " + std::to_string(request.jobs) + ")");
    const std::optional<Share> share =
        request.segments.empty() ? std::nullopt : std::optional<Share>(parseShare(request.segments));
    if (request.jobs > 1 && share) throw UsageError("give --jobs or --segments, not both");
    return share;
}

// Options that the input or the output does not take; throws naming them.
void checkOptionsFit(const RenderRequest &request, const RenderEndpoints &ends, bool split) {
    const Endpoint &in = ends.input, &out = ends.output;
    const std::string option = request.resume ? "--resume" : request.jobs > 1 ? "--jobs" : "--segments";
    if (request.resume || split) {
        if (!in.allows.seek)
            throw UsageError(option + " needs an image sequence or a video as input, not a stream (-) or an image");
        if (!out.allows.keep)
            throw UsageError(option + " needs an output of separate frames, and " + shownName(out, false) +
                             " is written whole by one process: write an image sequence such as " +
                             std::filesystem::path(out.path).replace_extension().string() +
                             "/####.png (ffmpeg joins it into a video), or leave out " + option);
    }
    if (in.kind == EndpointKind::Stream) {
        if (request.size.empty()) throw std::invalid_argument("a stream input (-i -) needs --size WIDTHxHEIGHT");
        if (request.frames && request.start) throw std::invalid_argument("give --frames or --start, not both");
    } else if (!request.size.empty()) {
        throw std::invalid_argument(std::string("--size is for a raw stream on standard input (-i -); ") +
                                    (in.kind == EndpointKind::Sequence ? "an image sequence has the size of its first frame"
                                     : in.kind == EndpointKind::Video  ? "a video has its own"
                                                                       : "an image has its own"));
    }
    if (in.kind == EndpointKind::Sequence && request.start)
        throw std::invalid_argument("--start numbers the frames of a stream (-i -); an image sequence takes "
                                    "the numbers in its file names");
    if (request.noAudio && !in.allows.audio) throw std::invalid_argument("--no-audio is for a video input");
    if (request.noAudio && !out.allows.audio) throw std::invalid_argument("--no-audio is for a video output");
    if (out.kind != EndpointKind::Video && (!request.codec.empty() || !request.codecOptions.empty()))
        throw std::invalid_argument("--codec and --codec-option are for a video output");
    if (out.kind != EndpointKind::Video && (!request.audioCodec.empty() || !request.formatOptions.empty()))
        throw std::invalid_argument("--audio-codec and --format-option are for a video output");
    if (!request.audioCodec.empty() && request.noAudio)
        throw std::invalid_argument("give --audio-codec or --no-audio, not both");
    if (!request.autorotate && in.kind != EndpointKind::Video)
        throw std::invalid_argument("--no-autorotate is for a video input");
}

// The scene of the render: the file's, its first filter's settings changed
// by the NAME=VALUE pairs given; or, without a file, one made to fit the
// input (its range and rate) with the fade at full strength.
scene::Scene renderScene(const RenderRequest &request, const Endpoint &input) {
    if (request.scenePath.empty()) {
        const int32_t first = input.kind == EndpointKind::Stream && request.frames ? request.frames->first
                                                                                   : request.start.value_or(1);
        const InputTimeline timeline = timelineOf(input, first);
        return newScene(timeline.fps.value_or(kDefaultFps), timeline.frames, modulePathOr(request.module),
                        request.settings, FadeKeys::Full);
    }
    scene::Scene scene = scene::loadSceneFile(request.scenePath);
    if (!request.settings.empty()) {
        if (scene.filters.empty())
            throw UsageError("NAME=VALUE settings change the scene's first filter, and " + request.scenePath +
                             " has none");
        changeFilterSettings(scene, 0, request.settings, modulePathOr(request.module));
    }
    return scene;
}

// A render into one image writes one frame.
void refuseManyIntoImage(const RenderEndpoints &ends, const RenderPlan &plan, std::optional<media::FrameRange> frames) {
    if (ends.output.kind != EndpointKind::Image) return;
    int64_t count = 1, first = 0, last = 0;
    if (plan.known) {
        std::vector<int32_t> written;
        for (int32_t frame : plan.run)
            if (plan.replayOnly.count(frame) == 0) written.push_back(frame);
        count = static_cast<int64_t>(written.size());
        first = written.empty() ? 0 : written.front();
        last = written.empty() ? 0 : written.back();
    } else if (frames) {
        count = int64_t{frames->last} - frames->first + 1;
        first = frames->first;
        last = frames->last;
    }
    if (count <= 1) return;
    throw UsageError(ends.output.path + ": one image holds one frame, and this render writes " + framesText(count) +
                     " (" + std::to_string(first) + " to " + std::to_string(last) +
                     "); choose one with --frames N, or write a sequence such as " +
                     media::sequencePatternsLike(ends.output.path));
}

struct OpenedEndpoints {
    std::unique_ptr<media::FrameSource> source;
    std::unique_ptr<media::FrameSink> sink;
};

// A video input read at the planned frames, seeking over what is not run.
std::unique_ptr<media::VideoSource> openVideo(const RenderRequest &request, const RenderEndpoints &ends,
                                              const scene::Scene &scene, const RenderPlan &plan, std::ostream &err) {
    const int32_t first = request.start.value_or(scene.firstFrame);
    const bool deep = ends.output.allows.depth && !request.depth8;
    const media::VideoReadOptions options{request.autorotate, deep};
    auto video = plan.known ? std::make_unique<media::VideoSource>(request.input, first, plan.run, options)
                            : std::make_unique<media::VideoSource>(request.input, first, request.frames, options);
    const media::FrameRate rate = video->frameRate(), sceneRate = media::frameRateOf(scene.fps);
    if (rate.num > 0 && std::abs(rate.value() - scene.fps) > 1e-3 * scene.fps)
        err << "vidmixer: warning: " << request.input << " runs at " << rateText(rate) << ", the scene at "
            << rateText(sceneRate) << "; the looks' time follows the scene's " << rateText(sceneRate) << "\n";
    if (const std::string note = video->orientationNote(); !note.empty()) err << "vidmixer: warning: " << note << "\n";
    // Deep frames are said by the depth guard where the output keeps them.
    if (!deep && video->bitsPerSample() > 8)
        err << "vidmixer: note: " << request.input << " has " << video->bitsPerSample() << "-bit samples; "
            << shownName(ends.output, false) << " is written at 8 bits\n";
    return video;
}

// KEY=VALUE options as pairs; throws naming the option that is not one.
media::CodecOptions keyValues(const std::vector<std::string> &given, const std::string &option) {
    media::CodecOptions pairs;
    for (const std::string &text : given) {
        const auto equals = text.find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::invalid_argument(option + " takes KEY=VALUE, not \"" + text + "\"");
        pairs.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    return pairs;
}

std::unique_ptr<media::FrameSink> openVideoSink(const RenderRequest &request, const scene::Scene &scene,
                                                const media::VideoSource *video, std::ostream &err) {
    media::VideoOutputOptions options;
    options.codec = request.codec;
    options.codecOptions = keyValues(request.codecOptions, "--codec-option");
    options.frameRate = video != nullptr && video->frameRate().num > 0 ? video->frameRate()
                                                                       : media::frameRateOf(scene.fps);
    if (video != nullptr) {
        options.alpha = video->hasAlpha();
        options.origin = video->origin();
    }
    options.copyStreams = !request.noAudio;
    options.audioCodec = request.audioCodec;
    options.formatOptions = keyValues(request.formatOptions, "--format-option");
    options.warn = [&err](const std::string &message) { err << "vidmixer: warning: " << message << "\n"; };
    options.note = [&err, quiet = request.quiet](const std::string &message) {
        if (!quiet) err << "vidmixer: note: " << message << "\n";
    };
    return std::make_unique<media::VideoSink>(request.output, std::move(options));
}

// Source and sink of the render, each opened once.
OpenedEndpoints openEndpoints(const RenderRequest &request, const RenderEndpoints &ends, const scene::Scene &scene,
                              const RenderPlan &plan, std::ostream &err) {
    OpenedEndpoints opened;
    const media::VideoSource *video = nullptr;
    switch (ends.input.kind) {
    case EndpointKind::Sequence:
        opened.source = std::make_unique<media::SequenceSource>(media::FramePattern(request.input), plan.run);
        break;
    case EndpointKind::Video: {
        auto source = openVideo(request, ends, scene, plan, err);
        video = source.get();
        opened.source = std::move(source);
        break;
    }
    case EndpointKind::Image:
        opened.source = std::make_unique<media::ImageSource>(request.input, request.start.value_or(scene.firstFrame),
                                                             request.frames);
        break;
    case EndpointKind::Stream: {
        int32_t width = 0, height = 0;
        media::parseFrameSize(request.size, width, height);
        std::optional<int64_t> limit;
        if (request.frames) limit = int64_t{request.frames->last} - request.frames->first + 1;
        opened.source = std::make_unique<media::StreamSource>(STDIN_FILENO, "standard input", width, height,
                                                              plan.firstFrame, limit);
        break;
    }
    }
    switch (ends.output.kind) {
    case EndpointKind::Sequence:
        opened.sink = std::make_unique<media::SequenceSink>(media::FramePattern(request.output), request.pngCompression);
        break;
    case EndpointKind::Video: opened.sink = openVideoSink(request, scene, video, err); break;
    case EndpointKind::Image:
        opened.sink = std::make_unique<media::ImageSink>(request.output, request.pngCompression);
        break;
    case EndpointKind::Stream:
        if (::isatty(STDOUT_FILENO))
            throw std::invalid_argument("standard output is a terminal; send the raw frames (-o -) into a pipe, "
                                        "such as ffmpeg");
        opened.sink = std::make_unique<media::StreamSink>(STDOUT_FILENO, "standard output");
        break;
    }
    return opened;
}

// Progress lines of a --jobs worker on standard output, read by the parent:
// "R f" and "W f" for a frame replayed or written.
class WorkerReport : public PipelineObserver {
public:
    static void line(char kind, int64_t value) {
        const std::string text = std::string(1, kind) + " " + std::to_string(value) + "\n";
        [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    }
    void frameWritten(int32_t frame) override { line('W', frame); }
    void frameReplayed(int32_t frame) override { line('R', frame); }
};

// The end of a render, said once: the exit code after one line of what
// happened (a failure, an interruption, nothing read, or the summary).
int reportOutcome(const RenderRequest &request, const RenderEndpoints &ends, const RenderPlan &plan,
                  const PipelineResult &result, double seconds, std::ostream &err) {
    const std::string finished = framesText(result.framesWritten) + " finished";
    const bool oneFile = ends.output.kind == EndpointKind::Video || ends.output.kind == EndpointKind::Image;
    const std::string unwritten = oneFile ? "; " + request.output + " was not written" : "";
    const std::string resumeHint =
        ends.input.allows.seek && ends.output.allows.keep && result.framesWritten + plan.kept > 0
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
        err << "vidmixer: " << shownName(ends.input, true) << ": no frames to render\n";
        return 1;
    }
    if (request.quiet) return 0;
    char rate[64];
    std::snprintf(rate, sizeof rate, " in %.1f s (%.1f fps)", seconds, double(result.framesWritten) / seconds);
    err << "vidmixer: rendered " << framesText(result.framesWritten) << " to " << shownName(ends.output, false)
        << rate;
    if (!plan.replayOnly.empty()) err << ", replaying " << framesText(int64_t(plan.replayOnly.size())) << " first";
    if (plan.kept > 0) err << ", keeping " << plan.kept << " finished before";
    if (!plan.redone.empty()) err << " (" << plan.redone.size() << " that did not decode rendered again)";
    err << "\n";
    return 0;
}

// Frames outside the scene's range are warned of before the render when an
// image sequence's are known, else after it, counted as they come (a
// video's, then, only when it decodes to the end).
bool warnsBefore(const RenderEndpoints &ends, const RenderPlan &plan) {
    return plan.known && ends.input.kind == EndpointKind::Sequence;
}

// Runs the planned frames from the source through the filters into the sink.
int renderFrames(const RenderRequest &request, const RenderEndpoints &ends, const scene::Scene &scene,
                 const RenderPlan &plan, size_t writers, std::ostream &err) {
    const bool warnBefore = warnsBefore(ends, plan);
    OpenedEndpoints opened = openEndpoints(request, ends, scene, plan, err);
    HistoryChains chains(scene, modulePathOr(request.module), err, plan.firstFrame, request.workerReport);
    DepthGuard depth(ends.output.allows.depth && !request.depth8, err);
    OutsideRange outside(scene);
    std::unique_ptr<ProgressDisplay> progress;
    if (!request.quiet)
        progress = std::make_unique<ProgressDisplay>(
            err, stderrTerminalWidth(), plan.known ? std::optional<int64_t>(plan.written()) : opened.source->count(),
            static_cast<int64_t>(plan.replayOnly.size()));
    WorkerReport report;
    PipelineObserver *observer = request.workerReport ? static_cast<PipelineObserver *>(&report) : progress.get();
    StopSignals signals;
    PipelineOptions options;
    options.writers = writers;
    options.stop = &StopSignals::flag();
    if (!plan.replayOnly.empty())
        options.replayOnly = [&](int32_t frame) { return plan.replayOnly.count(frame) > 0; };
    const auto start = std::chrono::steady_clock::now();
    PipelineResult result = runPipeline(
        *opened.source,
        [&](media::Frame &frame) {
            depth.apply(frame);
            if (!warnBefore && plan.replayOnly.count(frame.number) == 0) outside.count(frame.number);
            chains.process(frame, progress.get());
        },
        *opened.sink, observer, options);
    // A video or an image reaches its name only when every frame went in.
    if (!result.error && !result.stopped && result.framesWritten > 0) {
        try {
            opened.sink->finish();
        } catch (const std::exception &error) {
            result.error = error.what();
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) progress->finish();
    if (!request.workerReport && !result.error && !result.stopped) outside.report(err);
    return reportOutcome(request, ends, plan, result, seconds, err);
}

} // namespace

std::string addSegmentsHint() {
    return "add them with `vidmixer set SCENE segment=K` (K frames each)";
}

int runRender(const RenderRequest &request, std::ostream &err) {
    ignoreBrokenPipes();
    const size_t writers = writerCount(request.writers);
    const RenderEndpoints ends{describeEndpoint(request.input), describeEndpoint(request.output)};
    const std::optional<Share> share = checkedShare(request);
    const bool split = request.jobs > 1 || share;
    checkOptionsFit(request, ends, split);
    const scene::Scene scene = renderScene(request, ends.input);
    if (split && scene.historyLength() <= 0)
        throw UsageError(std::string(request.jobs > 1 ? "--jobs" : "--segments") +
                         " splits a render into whole segments, and " +
                         (request.scenePath.empty() ? "the scene made from the input" : request.scenePath) +
                         " has none: " + addSegmentsHint());

    const RenderPlan plan =
        planRender(scene, ends,
                   {request.frames, request.start, request.replay, request.autorotate, request.resume, share});
    for (int32_t frame : plan.redone)
        if (!request.quiet)
            err << "vidmixer: " << media::FramePattern(request.output).pathOf(frame)
                << ": does not decode; rendering frame " << frame << " again\n";
    if (plan.finished) {
        if (!request.quiet)
            err << "vidmixer: nothing to render: all " << framesText(plan.mine)
                << (share ? " of share " + request.segments : std::string()) << " are finished in " << request.output
                << "\n";
        return 0;
    }
    refuseManyIntoImage(ends, plan, request.frames);
    if (!request.overwrite && !request.resume) refuseOverwrite(ends, plan, request.frames);
    if (warnsBefore(ends, plan) && !request.workerReport) {
        OutsideRange outside(scene);
        for (int32_t frame : plan.run)
            if (plan.replayOnly.count(frame) == 0) outside.count(frame);
        outside.report(err);
    }
    if (request.jobs > 1) return runJobs(request, plan.written(), int64_t(plan.replayOnly.size()), err);
    if (plan.notReplayedFrom)
        err << "vidmixer: note: " << kindNoun(ends.input.kind) << " is not replayed: its frames from "
            << plan.firstFrame << " start a fresh generator history instead of continuing the one from frame "
            << *plan.notReplayedFrom << "\n";
    return renderFrames(request, ends, scene, plan, writers, err);
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
