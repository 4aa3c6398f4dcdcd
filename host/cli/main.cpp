// vidmixer: runs the Kivo Video Mixer filter module on image sequences and
// video streams, the way a renderer host runs it on rendered frames.
#include <CLI/CLI.hpp>
#include <malloc.h>

#include <functional>
#include <iostream>
#include <new>
#include <stdexcept>

#include "host/cli/cli_options.h"
#include "host/cli/demo_command.h"
#include "host/cli/edit_command.h"
#include "host/cli/instance_settings.h"
#include "host/cli/render_command.h"
#include "host/cli/scene_commands.h"
#include "host/cli/slurm_command.h"
#include "host/core/module_loader.h"
#include "host/preview/preview_command.h"

using namespace kivo::cli;

namespace {

// What every command shares: the module to load, and -q before the command.
struct Common {
    std::string module;
    bool quiet = false;
};

// Each subcommand declares its options and returns what runs when it is the
// one given, once the options are parsed.
using Action = std::function<int()>;

void moduleOption(CLI::App *command, Common &common) {
    command->add_option("--module", common.module, "The filter module to load (default: kivo_vidmixer.p beside vidmixer)");
}

Action addDemo(CLI::App &app, Common &common) {
    CLI::App *demo = app.add_subcommand("demo", "Render a generated test sequence through each of the four looks "
                                                "under an animated fade, with a contact sheet");
    auto out = std::make_shared<std::string>("vidmixer-demo");
    auto force = std::make_shared<bool>(false);
    demo->add_option("--out", *out, "Directory for the demo's files")->capture_default_str();
    demo->add_flag("--force", *force, "Replace scenes in it that were edited since the demo wrote them");
    moduleOption(demo, common);
    return [=, &common] {
        if (!demo->parsed()) return -1;
        return runDemo(*out, modulePathOr(common.module), std::cout, std::cerr, *force);
    };
}

Action addNew(CLI::App &app, Common &common) {
    CLI::App *create = app.add_subcommand("new", "Write a new scene: one filter at its defaults and a fade control "
                                                 "object keyed from 0 to 1 over the frame range");
    auto request = std::make_shared<NewRequest>();
    auto fps = std::make_shared<double>(kDefaultFps);
    auto frames = std::make_shared<std::string>("1-24");
    auto segment = std::make_shared<int32_t>(0);
    create->add_option("scene", request->scenePath, "Scene file to write")->required();
    CLI::Option *fpsOption = create->add_option("--fps", *fps, "Frames per second")->capture_default_str();
    CLI::Option *framesOption = create->add_option("--frames", *frames, "Frame range FIRST-LAST")->capture_default_str();
    create->add_option("--from", request->from,
                       "Take the frame range (and a video's frame rate) from a video, an image sequence or an image");
    create->add_flag("--force", request->force, "Replace an existing file");
    CLI::Option *segmentOption = create->add_option(
        "--segment", *segment,
        "Split the range into segments of K frames: the module's generator starts afresh at each, so segments "
        "render apart (--jobs, --segments, vidmixer slurm) and a frame replays at most K-1 frames");
    create->add_option("settings", request->settings, "NAME=VALUE settings of the filter, as `set` takes them");
    moduleOption(create, common);
    return [=, &common] {
        if (!create->parsed()) return -1;
        if (framesOption->count() > 0) request->frames = parseFrameRange(*frames);
        if (fpsOption->count() > 0) request->fps = *fps;
        if (segmentOption->count() > 0) request->segment = *segment;
        request->module = common.module;
        return runNew(*request, std::cout);
    };
}

Action addInfoSetEdit(CLI::App &app, Common &common) {
    CLI::App *info = app.add_subcommand("info", "Show a scene: its items and keys, and each filter's description "
                                                "line and settings by name");
    auto infoScene = std::make_shared<std::string>();
    info->add_option("scene", *infoScene, "Scene file")->required();
    moduleOption(info, common);

    CLI::App *set = app.add_subcommand(
        "set", "Change a filter's settings by name, e.g.\n  vidmixer set shot.json effect=film filmQuality=dusty "
               "sepia=on vignette=on mix=255,128,0 grainWidth=2\nNames and value words are those `vidmixer info` "
               "prints (any case); numbers must lie in the setting's range");
    auto setRequest = std::make_shared<SetRequest>();
    set->add_option("scene", setRequest->scenePath, "Scene file")->required();
    set->add_option("settings", setRequest->settings, "NAME=VALUE pairs")->required();
    set->add_option("--filter", setRequest->filter, "Which filter, counting from 1")->capture_default_str();
    moduleOption(set, common);

    CLI::App *edit = app.add_subcommand("edit", "Edit a filter's settings in the module's own panels, in the "
                                                "terminal; the scene is saved only when you accept");
    auto editRequest = std::make_shared<EditRequest>();
    edit->add_option("scene", editRequest->scenePath, "Scene file")->required();
    edit->add_option("--filter", editRequest->filter, "Which filter, counting from 1")->capture_default_str();
    moduleOption(edit, common);
    return [=, &common] {
        setRequest->module = editRequest->module = common.module;
        if (info->parsed()) return runInfo(*infoScene, common.module, std::cout);
        if (set->parsed()) return runSet(*setRequest, std::cout);
        if (edit->parsed()) return runEdit(*editRequest, std::cerr);
        return -1;
    };
}

// What only a video output takes, and what only a sequence does.
void addOutputOptions(CLI::App *render, RenderRequest &request) {
    render->add_option("--codec", request.codec,
                       "Video encoder of an output video (default: H.264 for .mp4/.mov/.mkv; PNG in .mov and "
                       "FFV1 in .mkv for frames with alpha)");
    render->add_option("--codec-option", request.codecOptions,
                       "KEY=VALUE for the video encoder, e.g. crf=23 or preset=fast (repeatable)")
        ->allow_extra_args(false);
    render->add_flag("--no-audio", request.noAudio, "Leave out the input video's sound and subtitles");
    render->add_option("--audio-codec", request.audioCodec,
                       "Audio encoder of an output video's sound, e.g. aac or libopus (default: copied where the "
                       "container takes the sound, else AAC in .mp4/.mov and Opus in .webm)");
    render->add_option("--format-option", request.formatOptions,
                       "KEY=VALUE for the output video's container, e.g. movflags=+frag_keyframe (repeatable; .mp4 "
                       "and .mov get movflags=+faststart unless given)")
        ->allow_extra_args(false);
    render->add_flag("--no-autorotate{false}", request.autorotate,
                     "Keep a video input's stored orientation instead of turning it upright as players show it; "
                     "a video output carries its display matrix on");
    render->add_option("--png-compression", request.pngCompression,
                       "Compression level of PNG frames, 0 (none) to 9 (smallest, slowest), on libdeflate's "
                       "zlib-like scale; default 4, no larger than ffmpeg's PNGs")
        ->check(CLI::Range(0, 9));
    render->add_option_function<std::string>(
        "--depth",
        [&request](const std::string &depth) {
            if (depth != "8") throw CLI::ValidationError("--depth", "the only depth to ask for is 8");
            request.depth8 = true;
        },
        "8: write 8-bit files (by default outputs keep the input's depth: 16-bit and float samples the filter "
        "leaves unchanged are kept at full precision)");
    render->add_flag("-y,--overwrite", request.overwrite,
                     "Replace an existing output video or image, or existing frames this render writes");
}

// How the frames are split up, resumed and replayed.
void addSplitOptions(CLI::App *render, RenderRequest &request, bool &noReplay) {
    render->add_flag("--resume", request.resume,
                     "Keep the output frames that are finished and render only the missing ones (and any that do "
                     "not decode); the result is that of an uninterrupted render");
    render->add_flag("--no-replay", noReplay,
                     "Do not replay. The module's generator runs on from frame to frame; a render that starts "
                     "inside the scene's range (or a segment) first runs the earlier frames without writing them, "
                     "so that every frame is that of an uninterrupted render. Without replay those frames come "
                     "out with other grain and scratches, but sooner");
    render->add_option("--jobs", request.jobs,
                       "Worker processes, each rendering whole segments (the scene needs a segment length); the "
                       "frames are those of --jobs 1")
        ->capture_default_str();
    render->add_option("--segments", request.segments,
                       "Only share I/N of the scene's segments (0 <= I < N), e.g. for a task of a Slurm array");
    render->add_flag("--worker-report", request.workerReport)->group("");
}

struct RenderOptions {
    RenderRequest request;
    std::vector<std::string> positional; // [SCENE] [NAME=VALUE...]
    std::string frames, start, writers;
    bool noReplay = false;
};

Action addRender(CLI::App &app, Common &common) {
    CLI::App *render = app.add_subcommand(
        "render", "Run a scene's filters over a video file, an image sequence, an image or a raw RGBA stream, e.g.\n"
                  "  vidmixer render scene.json -i in.mp4 -o out.mp4\n"
                  "  vidmixer render -i in.mp4 -o out.mp4 effect=film sepia=on\n"
                  "Without a scene file the scene is made from the input (its frames and rate, the fade at full "
                  "strength); NAME=VALUE settings change the scene's first filter for this render only. A video "
                  "(any FFmpeg reads) gives frames numbered from the scene's first frame; an output video's "
                  "container follows its extension, with the input's sound and subtitles copied. Sequence patterns "
                  "such as frames/####.png or frames/%04d.exr take any image format, as does one image such as "
                  "still.png; - is raw RGBA frames on standard input or output (with --size), for other tools, "
                  "e.g.\n  ffmpeg -i in.mp4 -f rawvideo -pix_fmt rgba - | vidmixer render scene.json -i - --size "
                  "1920x1080 -o - | ffmpeg -f rawvideo -pix_fmt rgba -s 1920x1080 -r 24 -i - out.mp4");
    auto options = std::make_shared<RenderOptions>();
    RenderRequest &request = options->request;
    render->add_option("scene-and-settings", options->positional,
                       "[SCENE] [NAME=VALUE...]: the scene file, and settings as `vidmixer set` takes them");
    render->add_option("-i,--input", request.input, "Input video, sequence pattern, image, or - for a raw stream")
        ->required();
    render->add_option("-o,--output", request.output, "Output video, sequence pattern, image, or - for a raw stream")
        ->required();
    CLI::Option *framesOption = render->add_option(
        "--frames", options->frames, "Only frames FIRST-LAST (a stream: number from FIRST, stop after LAST)");
    CLI::Option *startOption = render->add_option(
        "--start", options->start, "Frame number of a stream's or video's first frame (default: the scene's first)");
    render->add_option("--size", request.size, "Frame size WIDTHxHEIGHT of a raw stream input");
    addOutputOptions(render, request);
    render->add_flag("-q,--quiet", request.quiet, "No progress bar or summary");
    render->add_option("--writers", options->writers, "Threads writing image files, 1 to 64 (default: up to 2)");
    addSplitOptions(render, request, options->noReplay);
    moduleOption(render, common);
    return [=, &common] {
        if (!render->parsed()) return -1;
        RenderRequest &request = options->request;
        const std::vector<std::string> &words = options->positional;
        const bool withScene = !words.empty() && words.front().find('=') == std::string::npos;
        if (withScene) request.scenePath = words.front();
        request.settings.assign(words.begin() + (withScene ? 1 : 0), words.end());
        if (framesOption->count() > 0) request.frames = parseFrameRange(options->frames);
        if (startOption->count() > 0) request.start = parseFrameNumber(options->start, "--start");
        if (!options->writers.empty()) request.writers = parseWriterCount(options->writers, kMaxWriters);
        request.module = common.module;
        request.quiet = request.quiet || common.quiet;
        request.replay = !options->noReplay;
        return runRender(request, std::cerr);
    };
}

Action addSlurm(CLI::App &app, Common &common) {
    CLI::App *slurm = app.add_subcommand(
        "slurm", "Print an sbatch script that renders a scene with segments as a Slurm array job of N tasks, each "
                 "rendering one share of the segments (with --resume, so a requeued task finishes its share). "
                 "Options after -- are passed to sbatch, e.g.\n  vidmixer slurm shot.json -i in/####.exr -o "
                 "out/####.exr --tasks 20 -- --partition=render > shot.sbatch && sbatch shot.sbatch");
    auto request = std::make_shared<SlurmRequest>();
    auto frames = std::make_shared<std::string>();
    slurm->add_option("scene", request->scenePath, "Scene file")->required();
    slurm->add_option("-i,--input", request->input, "Input sequence pattern")->required();
    slurm->add_option("-o,--output", request->output, "Output sequence pattern")->required();
    slurm->add_option("--tasks", request->tasks, "Array tasks (shares of the segments)")->required();
    CLI::Option *framesOption = slurm->add_option("--frames", *frames, "Only frames FIRST-LAST");
    slurm->add_option("sbatch-options", request->sbatchOptions,
                      "Options for sbatch after --, each becoming a #SBATCH line");
    moduleOption(slurm, common);
    return [=, &common] {
        if (!slurm->parsed()) return -1;
        if (framesOption->count() > 0) request->frames = parseFrameRange(*frames);
        request->module = common.module;
        return runSlurm(*request, std::cout);
    };
}

Action addPreview(CLI::App &app, Common &common) {
    CLI::App *preview = app.add_subcommand(
        "preview", "Show the scene's frames as a render writes them in a local web page, with its settings, the "
                   "fade curve and the module's own panels to edit, e.g.\n  vidmixer preview shot.json -i in.mp4 -o "
                   "out.mp4\nThe page's address (with its random token) is printed and opened in the browser");
    auto request = std::make_shared<kivo::preview::PreviewRequest>();
    preview->add_option("scene", request->scenePath, "Scene file")->required();
    preview->add_option("-i,--input", request->input,
                        "Input video or sequence pattern, as render takes it (default: the demo's test picture)");
    preview->add_option("-o,--output", request->output, "Output video or sequence pattern of the page's Render");
    preview->add_option("--port", request->port, "Port to serve on (default: a free one)");
    preview->add_option("--listen", request->listen, "Address to serve on (default 127.0.0.1, this machine only)")
        ->capture_default_str();
    preview->add_flag("--no-browser", request->noBrowser, "Print the address without opening a browser");
    moduleOption(preview, common);
    return [=, &common] {
        if (!preview->parsed()) return -1;
        request->module = common.module;
        return kivo::preview::runPreview(*request, std::cout, std::cerr);
    };
}

// vidmixer's version, and the module's: its file and the words of its
// descriptor.
int runVersion(const std::string &module, std::ostream &out) {
    out << "vidmixer " << KIVO_VERSION << "\n";
    const std::string path = modulePathOr(module);
    const auto loaded = kivo::host::LoadedModule::open(path);
    const ModuleDescriptor &descriptor = loaded->descriptor();
    out << "module " << path << ": system version " << descriptor.systemVersion << ", servers";
    for (const ServerRecord *row = descriptor.serverTable; row->className != nullptr; ++row)
        out << (row == descriptor.serverTable ? " " : ", ") << row->className << " \"" << row->serverName << "\"";
    out << "\n";
    return 0;
}

// Runs the action of the command given; the exit code.
int runCommand(const std::vector<Action> &actions, bool version, const Common &common) {
    try {
        if (version) return runVersion(common.module, std::cout);
        for (const Action &action : actions)
            if (const int code = action(); code >= 0) return code;
        std::cerr << "A subcommand is required\nRun with --help for more information.\n";
        return 2;
    } catch (const UsageError &error) {
        std::cerr << "vidmixer: " << error.what() << "\n";
        return 2;
    } catch (const std::bad_alloc &) {
        std::cerr << "vidmixer: not enough memory\n";
        return 1;
    } catch (const std::exception &error) {
        std::cerr << "vidmixer: " << error.what() << "\n";
        return 1;
    }
}

} // namespace

int main(int argc, char **argv) {
    // Frames are large buffers made and dropped once per frame; serving them
    // from the heap instead of fresh mappings saves a page fault per 4 KiB.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

    CLI::App app{"vidmixer: runs the Kivo Video Mixer filter module (kivo_vidmixer.p) on videos, image sequences, "
                 "images and raw video streams, with the settings kept in a scene file."};
    app.require_subcommand(0, 1);
    Common common;
    bool version = false;
    app.add_flag("--version", version, "Print vidmixer's version and that of the module it loads");
    app.add_flag("-q,--quiet", common.quiet, "No progress bar or summary");
    const std::vector<Action> actions = {addDemo(app, common), addNew(app, common), addInfoSetEdit(app, common),
                                         addRender(app, common), addSlurm(app, common), addPreview(app, common)};
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    return runCommand(actions, version, common);
}
