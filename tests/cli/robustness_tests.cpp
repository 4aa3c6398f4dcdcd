// What a render does when the disk fills up, with odd patterns, extreme
// numbers, deep colour, leftovers of killed runs and records that are not
// what the module writes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "host/cli/instance_settings.h"
#include "host/cli/render_command.h"
#include "host/cli/scene_commands.h"
#include "host/core/host_session.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/media/video_sink.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"
#include "test_images.h"

using namespace kivo;

namespace {

constexpr int32_t kFirst = 1, kLast = 3, kWidth = 24, kHeight = 16;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// A scene fading the Negative look in from 0 at the first frame to 1 at the last.
scene::Scene negativeScene() {
    scene::Scene s = cli::newScene(24, {kFirst, kLast}, KIVO_MODULE_FILE);
    host::HostSession session(KIVO_MODULE_FILE, kMixerServerName);
    host::HostSession::Instance instance = session.createInstance();
    session.load(instance.get(), std::vector<uint8_t>(s.filters[0].record.begin(), s.filters[0].record.end()));
    cli::applySettings(session, instance.get(), cli::parseSettingPair("effect=negative", nullptr));
    const std::vector<uint8_t> saved = session.save(instance.get());
    std::copy_n(saved.begin(), scene::kRecordSize, s.filters[0].record.begin());
    return s;
}

// runRender as vidmixer runs it: the exit code, and what it printed or threw.
int render(const cli::RenderRequest &request, std::string &message) {
    std::ostringstream err;
    int code;
    try {
        code = cli::runRender(request, err);
    } catch (const std::exception &error) {
        err << "vidmixer: " << error.what() << "\n";
        code = 1;
    }
    message = err.str();
    return code;
}

std::map<std::string, std::string> filesIn(const TempDir &dir, const std::string &sub) {
    std::map<std::string, std::string> files;
    for (const std::string &name : dir.entries(sub))
        files[name] = dir.read(sub + "/" + name);
    return files;
}

void putFiles(const TempDir &dir, const std::string &sub, const std::map<std::string, std::string> &files) {
    std::filesystem::remove_all(dir.file(sub));
    std::filesystem::create_directory(dir.file(sub));
    for (const auto &[name, bytes] : files)
        dir.write(sub + "/" + name, bytes);
}

CommandResult vidmixer(const TempDir &dir, const std::string &arguments) {
    return runCommand(quoted(KIVO_VIDMIXER) + " " + arguments, dir.path());
}

} // namespace

// Every write, flush, close and rename of a 3-frame render fails in turn, with
// ENOSPC or EIO: each time the render stops with exit 1 naming the file and
// the reason, every file under a frame's name is either the good frame it
// replaced or the complete new one, and no temporary file is left.
TEST(FullDisk, EveryFailingFileCallStopsTheRenderAndKeepsGoodFiles) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("in"));
    const media::FramePattern in(dir.file("in/####.png"));
    for (int32_t frame = kFirst; frame <= kLast; ++frame)
        media::writeImageFile(in.pathOf(frame), patternImage(kWidth, kHeight, frame));
    scene::saveSceneFile(negativeScene(), dir.file("scene.json"));

    long swept = 0;
    for (const std::string extension : {"png", "tif", "exr"}) {
        SCOPED_TRACE(extension);
        cli::RenderRequest request;
        request.scenePath = dir.file("scene.json");
        request.input = in.text();
        request.output = dir.file("out/####." + extension);
        request.module = KIVO_MODULE_FILE;
        request.quiet = true;
        request.overwrite = true;
        request.writers = 1; // the calls in a fixed order

        // Good frames of an earlier render, which a failing run must not spoil.
        std::filesystem::create_directory(dir.file("out"));
        const media::FramePattern out(request.output);
        for (int32_t frame = kFirst; frame <= kLast; ++frame)
            media::writeImageFile(out.pathOf(frame), patternImage(kWidth, kHeight, 50 + frame), "half");
        const auto earlier = filesIn(dir, "out");

        std::string message;
        media::armFileFault(0, 0);
        ASSERT_EQ(render(request, message), 0) << message;
        const long calls = media::armFileFault(0, 0);
        std::map<std::string, media::DecodedImage> completeImages;
        for (const auto &[name, bytes] : filesIn(dir, "out"))
            completeImages[name] = media::readImageFile(dir.file("out/" + name));
        ASSERT_GE(calls, 3 * 4);

        // Each frame's file is flushed to disk before its rename, and its
        // directory after it.
        int fileFlushes = 0, directoryFlushes = 0;
        for (long call = 1; call <= calls; ++call) {
            SCOPED_TRACE("failing call " + std::to_string(call));
            putFiles(dir, "out", earlier);
            const int error = call % 2 ? ENOSPC : EIO;
            media::armFileFault(call, error);
            const int code = render(request, message);
            media::armFileFault(0, 0);
            EXPECT_EQ(code, 1) << message;
            EXPECT_TRUE(contains(message, dir.file("out/000")) && contains(message, std::strerror(error))) << message;
            fileFlushes += contains(message, ": cannot flush to disk: ");
            directoryFlushes += contains(message, ": cannot flush its directory to disk: ");
            const auto after = filesIn(dir, "out");
            EXPECT_EQ(after.size(), earlier.size());
            for (const auto &[name, bytes] : after) {
                EXPECT_NE(name[0], '.') << "left behind: " << name;
                if (bytes == earlier.at(name)) continue;
                // Not the earlier file: then the new frame, complete (some
                // encoders do not write the same bytes twice).
                const media::DecodedImage got = media::readImageFile(dir.file("out/" + name));
                EXPECT_TRUE(got.image == completeImages.at(name).image && got.deep == completeImages.at(name).deep)
                    << name << " is neither the earlier file nor the new frame";
            }
            ++swept;
        }
        EXPECT_EQ(fileFlushes, kLast - kFirst + 1);
        EXPECT_EQ(directoryFlushes, kLast - kFirst + 1);
        std::filesystem::remove_all(dir.file("out"));
    }
    std::printf("fault injected at %ld file calls\n", swept);
}

// A video whose disk fills up part way through (or whose flush or rename
// fails): exit 1, one line naming the video and the reason, and neither the
// video nor a temporary file beside it.
TEST(FullDisk, AVideoThatCannotBeWrittenLeavesNothingBehind) {
    TempDir dir;
    scene::saveSceneFile(negativeScene(), dir.file("scene.json"));
    {
        media::VideoOutputOptions options;
        options.codec = "ffv1";
        options.frameRate = media::frameRateOf(24);
        media::VideoSink input(dir.file("in.mkv"), options);
        for (int32_t frame = kFirst; frame <= kLast; ++frame) {
            media::Frame picture;
            picture.number = frame;
            picture.image = patternImage(640, 480, frame);
            input.write(picture);
        }
        input.finish();
    }
    std::filesystem::create_directory(dir.file("out"));
    cli::RenderRequest request;
    request.scenePath = dir.file("scene.json");
    request.input = dir.file("in.mkv");
    request.output = dir.file("out/look.mkv");
    request.module = KIVO_MODULE_FILE;
    request.quiet = true;

    std::string message;
    media::armFileFault(0, 0);
    ASSERT_EQ(render(request, message), 0) << message;
    const long calls = media::armFileFault(0, 0);
    ASSERT_GE(calls, 5 + 3) << "the test needs a video written in several pieces";
    std::filesystem::remove(request.output);

    // The first write, one in the middle, the flush to disk and the rename
    // (the last five calls flush and close the file, rename it, and flush
    // and close its directory).
    for (const long call : {1L, (calls - 5 + 1) / 2, calls - 4, calls - 2}) {
        SCOPED_TRACE("failing call " + std::to_string(call));
        const int error = call == calls - 4 ? EIO : ENOSPC;
        media::armFileFault(call, error);
        const int code = render(request, message);
        media::armFileFault(0, 0);
        EXPECT_EQ(code, 1);
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_TRUE(contains(message, request.output + ": ") && contains(message, std::strerror(error))) << message;
        EXPECT_TRUE(dir.entries("out").empty()) << "left behind: " << dir.entries("out").front();
    }
}

// Frame-number placeholders and numbers beyond what fits are refused with
// the limit, never wrapped or written over one another.
TEST(Limits, PatternsWritersAndFrameNumbersSayTheirLimit) {
    EXPECT_THROW(
        {
            try {
                media::FramePattern(std::string(32, '#') + ".png");
            } catch (const std::invalid_argument &error) {
                EXPECT_TRUE(contains(error.what(), "at most 20 digits")) << error.what();
                throw;
            }
        },
        std::invalid_argument);
    // Twenty digits are the most, however the number is written.
    EXPECT_THROW(media::FramePattern(std::string(21, '#') + ".png"), std::invalid_argument);
    EXPECT_THROW(media::FramePattern("%021d.png"), std::invalid_argument);
    EXPECT_EQ(media::FramePattern("%020d.png").pathOf(-7), "-0000000000000000007.png");
    const media::FramePattern widest(std::string(20, '#') + ".png");
    EXPECT_EQ(widest.frameOf(widest.pathOf(-2147483647 - 1)), -2147483647 - 1);
    EXPECT_EQ(widest.frameOf(widest.pathOf(2147483647)), 2147483647);

    TempDir dir;
    scene::saveSceneFile(negativeScene(), dir.file("scene.json"));
    const std::string base = "render " + quoted(dir.file("scene.json")) + " --module " + quoted(KIVO_MODULE_FILE);
    for (const char *writers : {"-1", "0", "40000", "4294967296"}) {
        const CommandResult result = vidmixer(dir, base + " -i - -o " + quoted(dir.file("out/#.png")) +
                                                       " --size 4x4 --writers " + writers + " < /dev/null");
        EXPECT_EQ(result.exitCode, 1) << writers;
        EXPECT_TRUE(contains(result.err, "--writers must be 1 to 64")) << result.err;
    }
    CommandResult result = vidmixer(dir, base + " -i - -o - --size 4x4 --start 2147483648 < /dev/null");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "-2147483648 to 2147483647")) << result.err;

    // Three frames numbered from two below the largest: two are written, the
    // third stops the render instead of wrapping to a negative number.
    dir.write("in.raw", std::string(3 * 4 * 4 * 4, '\x40'));
    result = vidmixer(dir, base + " -q -i - -o " + quoted(dir.file("out/%d.png")) +
                               " --size 4x4 --start 2147483646 < " + quoted(dir.file("in.raw")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "frame numbers end at 2147483647")) << result.err;
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{"2147483646.png", "2147483647.png"}));

    // A header declaring 16384x16384 is refused by the memory budget before
    // the pixels are allocated.
    const std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x40\0\0\0\x40\0\x08\x06\0\0\0", 29);
    dir.write("huge.png", header + "\xa9\xc8\x10\x84" +
                              std::string("\0\0\0\x08IDAT\x78\x9c\x03\0\0\0\0\x01\x48\x06\x89\xd2", 20) +
                              std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
    try {
        media::readImageFile(dir.file("huge.png"));
        ADD_FAILURE() << "read";
    } catch (const media::FileError &error) {
        EXPECT_TRUE(contains(error.what(), "16384x16384 frames would take") && contains(error.what(), "MiB"))
            << error.what();
    }

    // A compressed image that is damaged under checksums that match it (as a
    // faulty writer leaves it) fails in the PNG library, and is named.
    media::writeImageFile(dir.file("damaged.png"), patternImage(64, 48, 1));
    std::string damaged = dir.read("damaged.png");
    const size_t idat = damaged.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    damaged[idat + 6] = '\x07'; // after the zlib header: a block of the reserved type
    const auto *chunk = reinterpret_cast<const unsigned char *>(damaged.data() + idat);
    const size_t length = (size_t(chunk[-4]) << 24) | (size_t(chunk[-3]) << 16) | (size_t(chunk[-2]) << 8) | chunk[-1];
    const uLong crc = ::crc32_z(::crc32_z(0, nullptr, 0), chunk, length + 4);
    for (int i = 0; i < 4; ++i)
        damaged[idat + 4 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
    dir.write("damaged.png", damaged);
    try {
        media::readImageFile(dir.file("damaged.png"));
        ADD_FAILURE() << "read";
    } catch (const media::FileError &error) {
        EXPECT_TRUE(contains(error.what(), dir.file("damaged.png") + ": cannot read image: ")) << error.what();
    }

    // One byte of an uncompressed image flipped under its old checksum: only
    // the chunk's checksum can tell, since the image still inflates.
    media::writeImageFile(dir.file("flipped.png"), patternImage(64, 48, 1), "uint8", nullptr, 0);
    std::string flipped = dir.read("flipped.png");
    flipped[flipped.find("IDAT") + 2000] ^= 0x10;
    dir.write("flipped.png", flipped);
    try {
        media::readImageFile(dir.file("flipped.png"));
        ADD_FAILURE() << "read";
    } catch (const media::FileError &error) {
        EXPECT_TRUE(contains(error.what(), dir.file("flipped.png") + ": the PNG file is damaged (the IDAT chunk"))
            << error.what();
    }
}

// 16-bit and float frames at a fade of 0 come out exactly as they went in,
// values outside 0..1 included; where the filter changes a channel it is its
// 8-bit result; --depth 8 writes 8-bit files.
TEST(DeepColour, UnchangedChannelsKeepFullPrecision) {
    TempDir dir;
    scene::saveSceneFile(negativeScene(), dir.file("scene.json"));
    std::filesystem::create_directory(dir.file("in"));
    const size_t values = size_t(kWidth) * kHeight * 4;
    for (const std::string type : {"uint16", "float"}) {
        SCOPED_TRACE(type);
        const std::string extension = type == "float" ? "exr" : "tif";
        const media::FramePattern in(dir.file("in/####." + extension));
        std::vector<float> deep(values);
        for (size_t i = 0; i < values; ++i)
            deep[i] = float((i * 7919) % 65536) / 65535.0f; // every 16-bit level apart
        if (type == "float") {
            deep[0] = 4.0f;
            deep[1] = 100.0f;
            deep[2] = -1.0f;
        }
        for (int32_t frame = kFirst; frame <= kLast; ++frame)
            media::writeImageFile(in.pathOf(frame), host::RgbaImage(kWidth, kHeight), type, &deep);
        const media::DecodedImage given = media::readImageFile(in.pathOf(kFirst));
        ASSERT_EQ(given.sampleType, type);

        const std::string out = dir.file("out-" + type + "/####." + extension);
        const CommandResult result =
            vidmixer(dir, "render " + quoted(dir.file("scene.json")) + " -q -i " + quoted(in.text()) + " -o " +
                              quoted(out) + " --module " + quoted(KIVO_MODULE_FILE));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(contains(result.err, "warning") && contains(result.err, "8 bits") &&
                    contains(result.err, "--depth 8") && (type != "float" || contains(result.err, "outside 0..1")))
            << result.err;
        const media::FramePattern rendered(out);
        const media::DecodedImage faded0 = media::readImageFile(rendered.pathOf(kFirst));
        EXPECT_EQ(faded0.sampleType, type);
        EXPECT_TRUE(faded0.deep == given.deep) << "fade 0 changed the frame";

        const media::DecodedImage faded1 = media::readImageFile(rendered.pathOf(kLast));
        size_t changed = 0;
        for (size_t i = 0; i < values; ++i) {
            if (faded1.image.pixels[i] == given.image.pixels[i]) {
                EXPECT_EQ(faded1.deep[i], given.deep[i]) << i;
            } else {
                ++changed;
                EXPECT_NEAR(faded1.deep[i], faded1.image.pixels[i] / 255.0f, 1e-6) << i;
            }
        }
        EXPECT_GT(changed, values / 2); // the negative look did change colour

        const CommandResult eight =
            vidmixer(dir, "render " + quoted(dir.file("scene.json")) + " -q --depth 8 -i " + quoted(in.text()) +
                              " -o " + quoted(dir.file("out8-" + type + "/####.png")) + " --module " +
                              quoted(KIVO_MODULE_FILE));
        ASSERT_EQ(eight.exitCode, 0) << eight.err;
        EXPECT_EQ(eight.err, "");
        EXPECT_EQ(media::readImageFile(dir.file("out8-" + type + "/0001.png")).sampleType, "uint8");
    }
}

// Records that are not 18 numbers are warned about, temporary files of dead
// processes are cleared, demo keeps edited scenes, and errors name the file.
TEST(SmallerFaults, WarningsCleanupsAndMessages) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("out"));
    scene::Scene s = negativeScene();
    s.filters[0].record = scene::recordOfText("hello world");
    scene::saveSceneFile(s, dir.file("scene.json"));

    // A temporary file of a process that is gone, and one of this (running) one.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = ".0013.tmp-" + std::to_string(child) + "-12-1362.png";
    const std::string live = ".0013.tmp-" + std::to_string(::getpid()) + "-12-1362.png";
    dir.write("out/" + stale, "half a frame");
    dir.write("out/" + live, "being written");

    dir.write("in.raw", std::string(4 * 4 * 4, '\x40'));
    CommandResult result =
        vidmixer(dir, "render " + quoted(dir.file("scene.json")) + " -q -i - -o " + quoted(dir.file("out/####.png")) +
                          " --size 4x4 --module " + quoted(KIVO_MODULE_FILE) + " < " + quoted(dir.file("in.raw")));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "filter 1 (Kivo_VidMixer): its settings record \"hello world\" is not 18 numbers as "
                                     "the module writes them; the module uses grainWidth=1"))
        << result.err;
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{live, "0001.png"}));

    // Errors that name their file and say what is wrong, shown on their own.
    dir.write("big.json", "{\"format\": \"kivo-vidmixer-scene\", \"version\": 1, \"fps\": 1e400}");
    result = vidmixer(dir, "info " + quoted(dir.file("big.json")));
    EXPECT_EQ(result.err, "vidmixer: " + dir.file("big.json") + ": not valid JSON: number overflow parsing '1e400'\n");
    s.filters[0].server = "No_Such_Server";
    scene::saveSceneFile(s, dir.file("other.json"));
    result = vidmixer(dir, "info " + quoted(dir.file("other.json")) + " --module " + quoted(KIVO_MODULE_FILE));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(
        contains(result.err, "has no ImageFilterHandler server named \"No_Such_Server\" (it has \"Kivo_VidMixer\""))
        << result.err;

    // A PNG cut short is named, with no line of the PNG library's own beside it.
    std::filesystem::create_directory(dir.file("in"));
    media::writeImageFile(dir.file("in/0001.png"), patternImage(kWidth, kHeight, 1));
    const std::string png = dir.read("in/0001.png");
    dir.write("in/0001.png", png.substr(0, png.size() - 20));
    result = vidmixer(dir, "render " + quoted(dir.file("scene.json")) + " -q -i " + quoted(dir.file("in/####.png")) +
                               " -o " + quoted(dir.file("out2/####.png")) + " --module " + quoted(KIVO_MODULE_FILE));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "\nvidmixer: " + dir.file("in/0001.png") + ": the PNG file is cut short") &&
                !contains(result.err, "libpng"))
        << result.err;

    // demo into a folder whose scene was edited writes nothing without --force.
    std::filesystem::create_directories(dir.file("demo/scenes"));
    dir.write("demo/scenes/rgb.json", "edited by hand");
    result = vidmixer(dir, "demo --out " + quoted(dir.file("demo")) + " --module " + quoted(KIVO_MODULE_FILE));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, dir.file("demo/scenes/rgb.json") + ": this scene was changed")) << result.err;
    EXPECT_EQ(dir.read("demo/scenes/rgb.json"), "edited by hand");
    EXPECT_EQ(dir.entries("demo"), (std::vector<std::string>{"scenes"}));
}
