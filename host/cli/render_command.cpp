#include "host/cli/render_command.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "host/cli/cli_options.h"
#include "host/cli/filter_chain.h"
#include "host/cli/progress_display.h"
#include "host/cli/stop_signals.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_sink.h"
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
        if (!request.size.empty())
            throw std::invalid_argument("--size is for a raw stream on standard input (-i -); an image sequence "
                                        "has the size of its first frame");
        if (request.start)
            throw std::invalid_argument("--start numbers the frames of a stream (-i -); an image sequence takes "
                                        "the numbers in its file names");
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
        ends.sink = std::make_unique<media::SequenceSink>(outputPattern);
    }
    return ends;
}

size_t writerCount(size_t requested) {
    if (requested > 0) return requested;
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 2);
}

} // namespace

int runRender(const RenderRequest &request, std::ostream &err) {
    ignoreBrokenPipes();
    const scene::Scene scene = scene::loadSceneFile(request.scenePath);
    if (media::isVideoPath(request.output) && request.output != "-") {
        if (request.noAudio && !media::isVideoPath(request.input))
            throw std::invalid_argument("--no-audio is for a video input");
    } else if (!request.codec.empty() || !request.codecOptions.empty()) {
        throw std::invalid_argument("--codec and --codec-option are for a video output");
    }
    Endpoints ends = openEndpoints(request, scene, err);
    FilterChain chain(scene, modulePathOr(request.module), &err);

    std::unique_ptr<ProgressDisplay> progress;
    if (!request.quiet) progress = std::make_unique<ProgressDisplay>(err, stderrTerminalWidth(), ends.source->count());
    StopSignals signals;
    PipelineOptions options;
    options.writers = writerCount(request.writers);
    options.stop = &StopSignals::flag();
    const auto start = std::chrono::steady_clock::now();
    PipelineResult result = runPipeline(
        *ends.source, [&](media::Frame &frame) { chain.process(frame, progress.get()); }, *ends.sink, progress.get(),
        options);
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

    const std::string finished =
        std::to_string(result.framesWritten) + (result.framesWritten == 1 ? " frame" : " frames") + " finished";
    const std::string unwritten = ends.videoOut != nullptr ? "; " + request.output + " was not written" : "";
    if (result.error) {
        err << "vidmixer: " << *result.error << " (" << finished << unwritten << ")\n";
        return 1;
    }
    if (result.stopped) {
        err << "vidmixer: interrupted (" << finished << unwritten << ")\n";
        return 130;
    }
    if (result.framesWritten == 0) {
        err << "vidmixer: " << (request.input == "-" ? "standard input" : request.input) << ": no frames to render\n";
        return 1;
    }
    if (!request.quiet) {
        char rate[64];
        std::snprintf(rate, sizeof rate, " in %.1f s (%.1f fps)", seconds, double(result.framesWritten) / seconds);
        err << "vidmixer: rendered " << result.framesWritten << (result.framesWritten == 1 ? " frame" : " frames")
            << " to " << (request.output == "-" ? "standard output" : request.output) << rate << "\n";
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
