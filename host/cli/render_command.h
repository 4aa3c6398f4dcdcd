// vidmixer render: a scene's filters over an image sequence, a video, an
// image or a raw stream.
#ifndef KIVO_HOST_CLI_RENDER_COMMAND_H
#define KIVO_HOST_CLI_RENDER_COMMAND_H

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/cli/render_pipeline.h"
#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

struct RenderRequest {
    std::string scenePath; // empty: a scene made from the input, its range and rate, at full fade
    // NAME=VALUE settings of the scene's first filter for this render only
    // (or of the scene made from the input).
    std::vector<std::string> settings;
    std::string input;  // a sequence pattern, a video file, or "-" for raw RGBA on standard input
    std::string output; // a sequence pattern, a video file, or "-" for raw RGBA on standard output
    std::optional<media::FrameRange> frames;
    std::optional<int32_t> start; // first frame number of a stream
    std::string size;             // "WxH" of a stream
    std::string module;           // empty: the module beside vidmixer
    bool quiet = false;
    size_t writers = 0; // 0: chosen from the processor count; at most kMaxWriters
    bool depth8 = false; // write 8-bit files whatever the input's depth
    bool replay = true;  // replay a history's earlier frames before the first written
    bool resume = false; // keep the finished output frames, render the rest
    bool overwrite = false; // replace an existing output video or image, or existing frames
    int32_t jobs = 1;    // worker processes, each rendering whole segments
    std::string segments; // "I/N": only the I-th of N shares of the segments
    bool workerReport = false; // a worker of --jobs: progress lines on standard output
    // A video output's encoder (empty: the container's default) and its
    // options as KEY=VALUE; --no-audio leaves out the input's other streams.
    std::string codec;
    std::vector<std::string> codecOptions;
    bool noAudio = false;
    std::string audioCodec; // the encoder of every sound stream; empty: copied where the container takes it
    std::vector<std::string> formatOptions; // KEY=VALUE options of a video output's container
    bool autorotate = true; // a video input turned upright as players show it
    int pngCompression = media::kDefaultPngCompression; // PNG frames' compression level, 0 to 9
};

inline constexpr size_t kMaxWriters = 64;

// What to do when a scene without segments is asked to split.
std::string addSegmentsHint();

// Runs the render; returns the exit code after printing what happened to
// err. Throws for problems found before the first frame (bad options,
// scene, input, output or module), each naming what is wrong.
int runRender(const RenderRequest &request, std::ostream &err);

// The common part of render and demo: a loaded scene over an image sequence
// into another, quietly. Throws std::runtime_error with the pipeline's
// failure.
int64_t renderSequence(const scene::Scene &scene, const std::string &modulePath, const std::string &input,
                       const std::string &output, std::optional<media::FrameRange> frames = std::nullopt);

} // namespace kivo::cli

#endif
