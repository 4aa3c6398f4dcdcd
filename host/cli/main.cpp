// vidmixer: runs the Kivo Video Mixer filter module on image sequences and
// video streams, the way a renderer host runs it on rendered frames.
#include <CLI/CLI.hpp>
#include <malloc.h>

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

using namespace kivo::cli;

int main(int argc, char **argv) {
    // Frames are large buffers made and dropped once per frame; serving them
    // from the heap instead of fresh mappings saves a page fault per 4 KiB.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

    CLI::App app{"vidmixer: runs the Kivo Video Mixer filter module (kivo_vidmixer.p) on image sequences and raw "
                 "video streams, with the settings kept in a scene file."};
    app.require_subcommand(1);
    std::string module;
    auto moduleOption = [&](CLI::App *command) {
        command->add_option("--module", module, "The filter module to load (default: kivo_vidmixer.p beside vidmixer)");
    };

    CLI::App *demo = app.add_subcommand("demo", "Render a generated test sequence through each of the four looks "
                                                "under an animated fade, with a contact sheet");
    std::string demoOut = "vidmixer-demo";
    demo->add_option("--out", demoOut, "Directory for the demo's files")->capture_default_str();
    bool demoForce = false;
    demo->add_flag("--force", demoForce, "Replace scenes in it that were edited since the demo wrote them");
    moduleOption(demo);

    CLI::App *create = app.add_subcommand("new", "Write a new scene: one filter at its defaults and a fade control "
                                                 "object keyed from 0 to 1 over the frame range");
    NewRequest newRequest;
    std::string newFrames = "1-24";
    create->add_option("scene", newRequest.scenePath, "Scene file to write")->required();
    create->add_option("--fps", newRequest.fps, "Frames per second")->capture_default_str();
    create->add_option("--frames", newFrames, "Frame range FIRST-LAST")->capture_default_str();
    create->add_flag("--force", newRequest.force, "Replace an existing file");
    int32_t newSegment = 0;
    CLI::Option *segmentOption = create->add_option(
        "--segment", newSegment,
        "Split the range into segments of K frames: the module's generator starts afresh at each, so segments "
        "render apart (--jobs, --segments, vidmixer slurm) and a frame replays at most K-1 frames");
    create->add_option("settings", newRequest.settings, "NAME=VALUE settings of the filter, as `set` takes them");
    moduleOption(create);

    CLI::App *info = app.add_subcommand("info", "Show a scene: its items and keys, and each filter's description "
                                                "line and settings by name");
    std::string infoScene;
    info->add_option("scene", infoScene, "Scene file")->required();
    moduleOption(info);

    CLI::App *set = app.add_subcommand(
        "set", "Change a filter's settings by name, e.g.\n  vidmixer set shot.json effect=film filmQuality=dusty "
               "sepia=on vignette=on mix=255,128,0 grainWidth=2\nNames and value words are those `vidmixer info` "
               "prints (any case); numbers must lie in the setting's range");
    SetRequest setRequest;
    set->add_option("scene", setRequest.scenePath, "Scene file")->required();
    set->add_option("settings", setRequest.settings, "NAME=VALUE pairs")->required();
    set->add_option("--filter", setRequest.filter, "Which filter, counting from 1")->capture_default_str();
    moduleOption(set);

    CLI::App *edit = app.add_subcommand("edit", "Edit a filter's settings in the module's own panels, in the "
                                                "terminal; the scene is saved only when you accept");
    EditRequest editRequest;
    edit->add_option("scene", editRequest.scenePath, "Scene file")->required();
    edit->add_option("--filter", editRequest.filter, "Which filter, counting from 1")->capture_default_str();
    moduleOption(edit);

    CLI::App *render = app.add_subcommand(
        "render", "Run the scene's filters over a video file, an image sequence or a raw RGBA stream, e.g.\n"
                  "  vidmixer render scene.json -i in.mp4 -o out.mp4\n"
                  "A video (any FFmpeg reads) gives frames numbered from the scene's first frame; an output video's "
                  "container follows its extension, with the input's sound and subtitles copied. Sequence patterns "
                  "such as frames/####.png or frames/%04d.exr take any image format; - is raw RGBA frames on "
                  "standard input or output (with --size), for other tools, e.g.\n  ffmpeg -i in.mp4 -f rawvideo "
                  "-pix_fmt rgba - | vidmixer render scene.json -i - --size 1920x1080 -o - | ffmpeg -f rawvideo "
                  "-pix_fmt rgba -s 1920x1080 -r 24 -i - out.mp4");
    RenderRequest renderRequest;
    std::string renderFrames;
    std::string start;
    render->add_option("scene", renderRequest.scenePath, "Scene file")->required();
    render->add_option("-i,--input", renderRequest.input, "Input video, sequence pattern, or - for a raw stream")
        ->required();
    render->add_option("-o,--output", renderRequest.output, "Output video, sequence pattern, or - for a raw stream")
        ->required();
    CLI::Option *framesOption = render->add_option(
        "--frames", renderFrames, "Only frames FIRST-LAST (a stream: number from FIRST, stop after LAST)");
    CLI::Option *startOption =
        render->add_option("--start", start,
                           "Frame number of a stream's or video's first frame (default: the scene's first)");
    render->add_option("--size", renderRequest.size, "Frame size WIDTHxHEIGHT of a raw stream input");
    render->add_option("--codec", renderRequest.codec,
                       "Video encoder of an output video (default: H.264 for .mp4/.mov/.mkv; PNG in .mov and "
                       "FFV1 in .mkv for frames with alpha)");
    render->add_option("--codec-option", renderRequest.codecOptions,
                       "KEY=VALUE for the video encoder, e.g. crf=23 or preset=fast (repeatable)")
        ->allow_extra_args(false);
    render->add_flag("--no-audio", renderRequest.noAudio, "Leave out the input video's sound and subtitles");
    render->add_option("--png-compression", renderRequest.pngCompression,
                       "zlib level of PNG frames, 0 (none) to 9 (smallest, slowest); default 3, about as small as 6 "
                       "and twice as fast on grainy frames")
        ->check(CLI::Range(0, 9));
    render->add_flag("-q,--quiet", renderRequest.quiet, "No progress bar or summary");
    std::string writers;
    render->add_option("--writers", writers, "Threads writing image files, 1 to 64 (default: up to 2)");
    render->add_option_function<std::string>(
        "--depth",
        [&](const std::string &depth) {
            if (depth != "8") throw CLI::ValidationError("--depth", "the only depth to ask for is 8");
            renderRequest.depth8 = true;
        },
        "8: write 8-bit files (by default outputs keep the input's depth: 16-bit and float samples the filter "
        "leaves unchanged are kept at full precision)");
    render->add_flag("--resume", renderRequest.resume,
                     "Keep the output frames that are finished and render only the missing ones (and any that do "
                     "not decode); the result is that of an uninterrupted render");
    bool noReplay = false;
    render->add_flag("--no-replay", noReplay,
                     "Do not replay. The module's generator runs on from frame to frame; a render that starts "
                     "inside the scene's range (or a segment) first runs the earlier frames without writing them, "
                     "so that every frame is that of an uninterrupted render. Without replay those frames come "
                     "out with other grain and scratches, but sooner");
    render->add_option("--jobs", renderRequest.jobs,
                       "Worker processes, each rendering whole segments (the scene needs a segment length); the "
                       "frames are those of --jobs 1")
        ->capture_default_str();
    render->add_option("--segments", renderRequest.segments,
                       "Only share I/N of the scene's segments (0 <= I < N), e.g. for a task of a Slurm array");
    render->add_flag("--worker-report", renderRequest.workerReport)->group("");
    moduleOption(render);

    CLI::App *slurm = app.add_subcommand(
        "slurm", "Print an sbatch script that renders a scene with segments as a Slurm array job of N tasks, each "
                 "rendering one share of the segments (with --resume, so a requeued task finishes its share). "
                 "Options after -- are passed to sbatch, e.g.\n  vidmixer slurm shot.json -i in/####.exr -o "
                 "out/####.exr --tasks 20 -- --partition=render > shot.sbatch && sbatch shot.sbatch");
    SlurmRequest slurmRequest;
    std::string slurmFrames;
    slurm->add_option("scene", slurmRequest.scenePath, "Scene file")->required();
    slurm->add_option("-i,--input", slurmRequest.input, "Input sequence pattern")->required();
    slurm->add_option("-o,--output", slurmRequest.output, "Output sequence pattern")->required();
    slurm->add_option("--tasks", slurmRequest.tasks, "Array tasks (shares of the segments)")->required();
    CLI::Option *slurmFramesOption = slurm->add_option("--frames", slurmFrames, "Only frames FIRST-LAST");
    slurm->add_option("sbatch-options", slurmRequest.sbatchOptions,
                      "Options for sbatch after --, each becoming a #SBATCH line");
    moduleOption(slurm);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    try {
        if (demo->parsed()) return runDemo(demoOut, modulePathOr(module), std::cout, std::cerr, demoForce);
        if (create->parsed()) {
            newRequest.frames = parseFrameRange(newFrames);
            newRequest.module = module;
            if (segmentOption->count() > 0) newRequest.segment = newSegment;
            return runNew(newRequest, std::cout);
        }
        if (info->parsed()) return runInfo(infoScene, module, std::cout);
        if (set->parsed()) {
            setRequest.module = module;
            return runSet(setRequest, std::cout);
        }
        if (edit->parsed()) {
            editRequest.module = module;
            return runEdit(editRequest, std::cerr);
        }
        if (render->parsed()) {
            if (framesOption->count() > 0) renderRequest.frames = parseFrameRange(renderFrames);
            if (startOption->count() > 0) renderRequest.start = parseFrameNumber(start, "--start");
            if (!writers.empty()) renderRequest.writers = parseWriterCount(writers, kMaxWriters);
            renderRequest.module = module;
            renderRequest.replay = !noReplay;
            return runRender(renderRequest, std::cerr);
        }
        if (slurm->parsed()) {
            if (slurmFramesOption->count() > 0) slurmRequest.frames = parseFrameRange(slurmFrames);
            slurmRequest.module = module;
            return runSlurm(slurmRequest, std::cout);
        }
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
    return 2;
}
