#include "host/cli/render_command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "host/cli/cli_options.h"
#include "host/cli/filter_chain.h"
#include "host/cli/progress_display.h"
#include "host/cli/stop_signals.h"
#include "host/media/frame_sink.h"
#include "host/scene/scene_file.h"

namespace kivo::cli {
namespace {

struct Endpoints {
    std::unique_ptr<media::FrameSource> source;
    std::unique_ptr<media::FrameSink> sink;
};

Endpoints openEndpoints(const RenderRequest &request, const scene::Scene &scene) {
    Endpoints ends;
    std::optional<media::FramePattern> inputPattern;
    std::vector<int32_t> inputFrames;
    if (request.input == "-") {
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
    } else {
        media::FramePattern outputPattern(request.output);
        if (inputPattern) media::checkOutputSparesInput(*inputPattern, inputFrames, outputPattern, inputFrames);
        ends.sink = std::make_unique<media::SequenceSink>(outputPattern);
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

int runRender(const RenderRequest &request, std::ostream &err) {
    ignoreBrokenPipes();
    const size_t writers = writerCount(request.writers);
    const scene::Scene scene = scene::loadSceneFile(request.scenePath);
    Endpoints ends = openEndpoints(request, scene);
    FilterChain chain(scene, modulePathOr(request.module), &err);

    std::unique_ptr<ProgressDisplay> progress;
    if (!request.quiet) progress = std::make_unique<ProgressDisplay>(err, stderrTerminalWidth(), ends.source->count());
    StopSignals signals;
    PipelineOptions options;
    options.writers = writers;
    options.stop = &StopSignals::flag();
    bool warnedOfDepth = false;
    auto filter = [&](media::Frame &frame) {
        if (request.depth8 && !frame.deep.empty()) {
            frame.deep.clear();
            frame.sampleType = "uint8";
        }
        if (!frame.deep.empty() && !warnedOfDepth) {
            warnedOfDepth = true;
            const bool floating = frame.sampleType == "half" || frame.sampleType == "float" ||
                                  frame.sampleType == "double";
            err << "vidmixer: warning: frame " << frame.number << " has " << frame.sampleType
                << " samples: the output keeps them where the filter leaves a channel unchanged, but colour the "
                   "filter changes passes through it at 8 bits"
                << (floating ? ", with values outside 0..1 clipped" : "") << " (--depth 8 writes 8-bit files)\n";
        }
        chain.process(frame, progress.get());
    };
    const auto start = std::chrono::steady_clock::now();
    const PipelineResult result = runPipeline(*ends.source, filter, *ends.sink, progress.get(), options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) progress->finish();

    const std::string finished =
        std::to_string(result.framesWritten) + (result.framesWritten == 1 ? " frame" : " frames") + " finished";
    if (result.error) {
        err << "vidmixer: " << *result.error << " (" << finished << ")\n";
        return 1;
    }
    if (result.stopped) {
        err << "vidmixer: interrupted (" << finished << ")\n";
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
