// vidmixer render through the built module, compared with the same frames
// processed directly through the host core; streams; and every way a render
// can fail, with what stays on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "host/core/frame_runner.h"
#include "host/core/host_session.h"
#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/scene/scene_file.h"
#include "host/scene/scene_items.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"
#include "test_images.h"

using kivo::host::RgbaImage;
using namespace kivo;

namespace {

constexpr int32_t kWidth = 40, kHeight = 30, kFirst = 10, kLast = 14;

// Two filters: an aged film look faded by item 1's scale, then an RGB look
// faded by the Y position of an item whose identifier has its top bit set
// (negative as a signed number), with negatives allowed.
scene::Scene testScene() {
    scene::Scene s;
    s.fps = 25;
    s.firstFrame = kFirst;
    s.lastFrame = kLast;
    s.items.push_back({1, "Fader", {{kFirst, {0, 0, 0}, {0, 0, 0}}, {kLast, {0, 0, 0}, {1, 1, 1}}}});
    s.items.push_back({0x80000001u, "Bouncer", {{kFirst, {0, 0, 0}, {1, 1, 1}}, {kLast, {0, -20, 0}, {1, 1, 1}}}});
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("1 2 3 0 0 1 0 2 255 255 255 1 1 0 1 1 0 1")});
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("-2147483647 1 1 1 1 10 1 1 10 200 30 0 0 0 0 0 0 1")});
    return s;
}

// What the host core makes of the frames, processed directly.
std::vector<RgbaImage> processDirectly(const scene::Scene &s, const std::vector<RgbaImage> &inputs, int32_t first) {
    host::HostSession session(KIVO_MODULE_FILE);
    scene::fillItemTable(s, session.items());
    std::vector<host::HostSession::Instance> instances;
    for (const scene::Filter &filter : s.filters) {
        instances.push_back(session.createInstance());
        session.load(instances.back().get(), std::vector<uint8_t>(filter.record.begin(), filter.record.end()));
    }
    std::vector<RgbaImage> outputs;
    for (size_t i = 0; i < inputs.size(); ++i) {
        RgbaImage image = inputs[i], out;
        host::FrameOptions options;
        options.frame = first + static_cast<int32_t>(i);
        options.time = options.frame / s.fps;
        for (auto &instance : instances) {
            host::runFrame(session.handler().process, instance.get(), image, out, options);
            image = out;
        }
        outputs.push_back(image);
    }
    return outputs;
}

std::string rawBytes(const std::vector<RgbaImage> &frames, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count && i < frames.size(); ++i)
        bytes.append(frames[i].pixels.begin(), frames[i].pixels.end());
    return bytes;
}

std::string lastLine(const std::string &text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    const auto newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class Render : public ::testing::Test {
protected:
    void SetUp() override {
        for (int32_t frame = kFirst; frame <= kLast; ++frame)
            inputs.push_back(patternImage(kWidth, kHeight, frame));
        std::filesystem::create_directory(dir.file("in"));
        for (size_t i = 0; i < inputs.size(); ++i)
            media::writeImageFile(in.pathOf(kFirst + int32_t(i)), inputs[i]);
        scene::saveSceneFile(scene, dir.file("scene.json"));
        sceneText = dir.read("scene.json");
        expected = processDirectly(scene, inputs, kFirst);
    }

    CommandResult vidmixer(const std::string &arguments) {
        return runCommand("LSAN_OPTIONS=print_suppressions=0:suppressions=" + quoted(KIVO_OIIO_LEAKS) + " " +
                              quoted(KIVO_VIDMIXER) + " " + arguments,
                          dir.path());
    }
    std::string renderArgs(const std::string &input, const std::string &output) {
        return "render " + quoted(dir.file("scene.json")) + " -i " + input + " -o " + output;
    }
    // The output frames present, which must each be complete and right.
    std::vector<int32_t> checkOutputs(const media::FramePattern &pattern) {
        std::vector<int32_t> found = pattern.discover();
        for (int32_t frame : found)
            EXPECT_EQ(media::readImageFile(pattern.pathOf(frame)).image, expected[frame - kFirst]) << "frame " << frame;
        return found;
    }
    void expectNoDebris(const std::string &sub) {
        for (const std::string &name : dir.entries(sub))
            EXPECT_NE(name[0], '.') << "left behind: " << name;
    }

    TempDir dir;
    scene::Scene scene = testScene();
    std::string sceneText;
    media::FramePattern in{dir.file("in/####.png")};
    media::FramePattern out{dir.file("out/####.png")};
    std::vector<RgbaImage> inputs, expected;
};

} // namespace

TEST_F(Render, SequenceMatchesTheHostCoreFrameForFrame) {
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("out/%04d.png"))));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{10, 11, 12, 13, 14}));
    EXPECT_TRUE(contains(lastLine(result.err), "rendered 5 frames")) << result.err;
    EXPECT_NE(expected.front(), expected.back()); // the looks did something
    EXPECT_EQ(dir.read("scene.json"), sceneText);
    expectNoDebris("out");
}

// The level reaches the encoder (the files differ in size) and never the
// pixels.
TEST_F(Render, PngCompressionChangesSizeNotPixels) {
    for (const char *level : {"0", "9"}) {
        const media::FramePattern pattern(dir.file(std::string("out") + level + "/####.png"));
        const CommandResult result =
            vidmixer(renderArgs(quoted(in.text()), quoted(pattern.text())) + " --png-compression " + level);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(checkOutputs(pattern).size(), 5u) << level;
    }
    EXPECT_GT(std::filesystem::file_size(dir.file("out0/0010.png")),
              std::filesystem::file_size(dir.file("out9/0010.png")));
    EXPECT_NE(vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --png-compression 10").exitCode, 0);
}

TEST_F(Render, FramesOptionNarrowsTheSequence) {
    // Frames 10 and 11 are replayed first: 12 and 13 are those of the whole render.
    CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --frames 12-13 -q");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{12, 13}));

    // Without replay, frame 12 is the first the module sees: a fresh run of 12 and 13.
    result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("fresh/####.png"))) + " --frames 12-13 -q "
                      "--no-replay");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const media::FramePattern fresh(dir.file("fresh/####.png"));
    const std::vector<RgbaImage> alone = processDirectly(scene, {inputs[2], inputs[3]}, 12);
    EXPECT_EQ(media::readImageFile(fresh.pathOf(12)).image, alone[0]);
    EXPECT_EQ(media::readImageFile(fresh.pathOf(13)).image, alone[1]);
    EXPECT_EQ(fresh.discover(), (std::vector<int32_t>{12, 13}));
}

TEST_F(Render, RawStreamInAndOut) {
    dir.write("in.raw", rawBytes(inputs, inputs.size()));
    const CommandResult result =
        vidmixer(renderArgs("-", "-") + " --size 40x30 --start 10 < " + quoted(dir.file("in.raw")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out == rawBytes(expected, expected.size()));
}

TEST_F(Render, StreamFramesAreNumberedFromTheScenesFirstFrame) {
    dir.write("in.raw", rawBytes(inputs, inputs.size()));
    const CommandResult result =
        vidmixer(renderArgs("-", quoted(out.text())) + " --size 40x30 < " + quoted(dir.file("in.raw")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{10, 11, 12, 13, 14}));
}

TEST_F(Render, FfmpegPipelineWhenPresent) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string source = "ffmpeg -v error -f lavfi -i testsrc=size=40x30:rate=25 -frames:v 5";
    // The same video as PNG files, for the reference.
    CommandResult made = runCommand(source + " -start_number 10 " + quoted(dir.file("ref/%04d.png")),
                                    (std::filesystem::create_directory(dir.file("ref")), dir.path()));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::vector<RgbaImage> video;
    for (int32_t frame = kFirst; frame <= kLast; ++frame)
        video.push_back(media::readImageFile(media::FramePattern(dir.file("ref/####.png")).pathOf(frame)).image);
    std::filesystem::create_directory(dir.file("out"));
    const CommandResult piped = runCommand(
        source + " -f rawvideo -pix_fmt rgba - | " + quoted(KIVO_VIDMIXER) + " " + renderArgs("-", "-") +
            " --size 40x30 -q | ffmpeg -v error -f rawvideo -pix_fmt rgba -s 40x30 -r 25 -i - -start_number 10 " +
            quoted(dir.file("out/%04d.png")),
        dir.path());
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    const std::vector<RgbaImage> want = processDirectly(scene, video, kFirst);
    ASSERT_EQ(out.discover(), (std::vector<int32_t>{10, 11, 12, 13, 14}));
    for (int32_t frame = kFirst; frame <= kLast; ++frame)
        EXPECT_EQ(media::readImageFile(out.pathOf(frame)).image, want[frame - kFirst]) << "frame " << frame;
}

TEST_F(Render, UnreadableFrameStopsAfterTheFinishedOnes) {
    dir.write("in/0012.png", "\x89PNG\r\n\x1a\n broken");
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())));
    EXPECT_EQ(result.exitCode, 1);
    const std::string line = lastLine(result.err);
    EXPECT_TRUE(contains(line, in.pathOf(12))) << result.err;
    EXPECT_TRUE(contains(line, "(2 frames finished)")) << result.err;
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{10, 11}));
    EXPECT_EQ(dir.read("scene.json"), sceneText);
    expectNoDebris("out");
}

TEST_F(Render, FrameOfAnotherSizeStopsTheRender) {
    media::writeImageFile(in.pathOf(13), patternImage(kWidth + 1, kHeight, 13));
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(lastLine(result.err), in.pathOf(13) + ": frame 13 is 41x30, but the first frame is 40x30"))
        << result.err;
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{10, 11, 12}));
}

TEST_F(Render, GapInTheSequenceIsRefusedBeforeAnything) {
    std::filesystem::remove(in.pathOf(12));
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.err),
              "vidmixer: " + in.pathOf(12) + ": input frame 12 is missing (a gap in the sequence, frames 10 to 14)");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

TEST_F(Render, StreamEndingInsideAFrame) {
    dir.write("in.raw", rawBytes(inputs, 2) + std::string(100, '\x7f'));
    const CommandResult result =
        vidmixer(renderArgs("-", quoted(out.text())) + " --size 40x30 < " + quoted(dir.file("in.raw")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.err), "vidmixer: standard input: the stream ended inside frame 12 (100 of 4800 bytes of "
                                    "a 40x30 RGBA frame) (2 frames finished)");
    EXPECT_EQ(checkOutputs(out), (std::vector<int32_t>{10, 11}));
}

TEST_F(Render, OutputNeverOverwritesAnInputFrame) {
    const std::string before = dir.read("in/0010.png");
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("in/../in/%04d.png"))));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(lastLine(result.err), "would overwrite input frame 10")) << result.err;
    EXPECT_EQ(dir.read("in/0010.png"), before);
}

TEST_F(Render, ModuleThatCannotLoadOrServe) {
    CommandResult result =
        vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --module " + quoted(dir.file("none.p")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(lastLine(result.err), dir.file("none.p"))) << result.err;

    result =
        vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --module " + quoted(KIVO_FIXTURE_WRONG_SYNC));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(lastLine(result.err), KIVO_FIXTURE_WRONG_SYNC)) << result.err;

    scene::Scene other = scene;
    other.filters[1].server = "No_Such_Server";
    scene::saveSceneFile(other, dir.file("scene.json"));
    result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(lastLine(result.err), "No_Such_Server")) << result.err;
    EXPECT_TRUE(out.discover().empty());
}

TEST_F(Render, BadSceneNamesFileAndPlace) {
    dir.write("scene.json", sceneText.substr(0, sceneText.find("\"filters\"")) + "\"filters\": [{\"server\": 5}]}");
    const CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(out.text())));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.err),
              "vidmixer: " + dir.file("scene.json") + ": /filters/0/server: expected a string, found number");
}

// Settings on the render line: without a scene file, a scene of the input's
// frames at the full fade; with one, its first filter changed for this
// render only.
TEST_F(Render, SettingsOnTheRenderLine) {
    CommandResult result =
        vidmixer("render -q -i " + quoted(in.text()) + " -o " + quoted(dir.file("neg/####.png")) + " effect=negative");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const media::FramePattern negative(dir.file("neg/####.png"));
    ASSERT_EQ(negative.discover(), (std::vector<int32_t>{10, 11, 12, 13, 14}));
    for (int32_t frame = kFirst; frame <= kLast; ++frame) {
        const RgbaImage got = media::readImageFile(negative.pathOf(frame)).image, &given = inputs[frame - kFirst];
        for (size_t i = 0; i < got.pixels.size(); ++i)
            ASSERT_EQ(got.pixels[i], i % 4 == 3 ? given.pixels[i] : 255 - given.pixels[i]) << frame << " " << i;
    }

    std::filesystem::copy_file(dir.file("scene.json"), dir.file("set.json"));
    ASSERT_EQ(vidmixer("set " + quoted(dir.file("set.json")) + " effect=negative sepia=on").exitCode, 0);
    result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("over/####.png"))) + " -q EFFECT=negative sepia=on");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(vidmixer("render -q " + quoted(dir.file("set.json")) + " -i " + quoted(in.text()) + " -o " +
                       quoted(dir.file("set/####.png")))
                  .exitCode,
              0);
    for (int32_t frame = kFirst; frame <= kLast; ++frame)
        EXPECT_EQ(media::readImageFile(media::FramePattern(dir.file("over/####.png")).pathOf(frame)).image,
                  media::readImageFile(media::FramePattern(dir.file("set/####.png")).pathOf(frame)).image)
            << frame;
    EXPECT_NE(media::readImageFile(dir.file("over/0014.png")).image, expected.back());
    EXPECT_EQ(dir.read("scene.json"), sceneText);
    result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("bad/####.png"))) + " sepia=maybe");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(contains(result.err, "sepia=maybe: unknown value")) << result.err;
}

// An existing output video or image, or frames the render writes, stay as
// they are unless -y is given; --resume keeps finished frames as before.
TEST_F(Render, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
    const std::string sequence = renderArgs(quoted(in.text()), quoted(out.text()));
    CommandResult result = vidmixer("-q " + sequence);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    struct stat before {}, after {};
    ::stat(out.pathOf(10).c_str(), &before);
    result = vidmixer(sequence);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "vidmixer: " + out.pathOf(10) + ": exists, as do 4 more of the frames this render writes (up to " +
                              out.pathOf(14) + "); add -y (--overwrite) to replace them, or --resume to keep them and "
                              "render the rest\n");
    ::stat(out.pathOf(10).c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(contains(vidmixer(sequence + " --resume").err, "nothing to render"));

    // A stream's frames are any from its first on.
    dir.write("in.raw", rawBytes(inputs, 2));
    const std::string stream = renderArgs("-", quoted(out.text())) + " -q --size 40x30 < " + quoted(dir.file("in.raw"));
    result = vidmixer(stream + " --start 14");
    EXPECT_EQ(result.err, "vidmixer: " + out.pathOf(14) + ": exists; add -y (--overwrite) to replace it\n");
    EXPECT_EQ(vidmixer(stream + " --start 15").exitCode, 0);
    EXPECT_EQ(vidmixer(stream + " --start 14 -y").exitCode, 0);
    ::stat(out.pathOf(14).c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);

    const std::string image = renderArgs(quoted(in.text()), quoted(dir.file("still.png"))) + " -q --frames 12";
    ASSERT_EQ(vidmixer(image).exitCode, 0);
    EXPECT_EQ(vidmixer(image).err, "vidmixer: " + dir.file("still.png") + ": exists; add -y (--overwrite) to replace it\n");
    EXPECT_EQ(vidmixer(image + " --overwrite").exitCode, 0);
}

// An output named as an image is one file of that format; an image given as
// input is one frame, the scene's first, with no frame rate to warn of.
TEST_F(Render, OneImageInOrOut) {
    for (const std::string name : {"still.png", "still.tif"}) {
        const CommandResult result =
            vidmixer(renderArgs(quoted(in.text()), quoted(dir.file(name))) + " -q --frames 12-12");
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(media::readImageFile(dir.file(name)).image, expected[2]) << name;
    }
    EXPECT_EQ(dir.read("still.png").substr(0, 4), "\x89PNG");
    EXPECT_EQ(dir.read("still.tif").substr(0, 2), "II");

    CommandResult result = vidmixer(renderArgs(quoted(in.text()), quoted(dir.file("many.png"))));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "vidmixer: " + dir.file("many.png") + ": one image holds one frame, and this render writes 5 "
                          "frames (10 to 14); choose one with --frames N, or write a sequence such as " +
                              dir.file("many####.png") + " or " + dir.file("many/####.png") + "\n");
    dir.write("in.raw", rawBytes(inputs, 3));
    result = vidmixer(renderArgs("-", quoted(dir.file("many.png"))) + " -q --size 40x30 < " + quoted(dir.file("in.raw")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "one image holds one frame, and frame 11 comes after frame 10")) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("many.png")));
    expectNoDebris("");

    scene::Scene slower = scene;
    slower.fps = 24;
    scene::saveSceneFile(slower, dir.file("slower.json"));
    result = vidmixer("render -q " + quoted(dir.file("slower.json")) + " -i " + quoted(in.pathOf(10)) + " -o " +
                      quoted(dir.file("one.png")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(media::readImageFile(dir.file("one.png")).image, processDirectly(slower, {inputs[0]}, kFirst)[0]);
}

// Frames the scene's range leaves out pass through items held at their
// ends: one warning says how many, for a sequence and for a stream alike.
TEST_F(Render, FramesOutsideTheScenesRangeAreWarnedOfOnce) {
    scene::Scene narrow = scene;
    narrow.firstFrame = 12;
    narrow.lastFrame = 13;
    scene::saveSceneFile(narrow, dir.file("narrow.json"));
    dir.write("in.raw", rawBytes(inputs, inputs.size()));
    const std::string warning = "vidmixer: warning: 3 frames of 5 lie outside the scene's range, frames 12 to 13 (2 "
                                "frames before it and 1 frame after it): ";
    for (const std::string &input : std::vector<std::string>{quoted(in.text()), "- --size 40x30 --start 10 < " + quoted(dir.file("in.raw"))}) {
        const CommandResult result =
            vidmixer("render -q " + quoted(dir.file("narrow.json")) + " -i " + input + " -o -");
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err.rfind(warning, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(Render, OptionsThatDoNotFit) {
    const std::string base = renderArgs("-", quoted(out.text()));
    EXPECT_TRUE(contains(vidmixer(base + " < /dev/null").err, "needs --size"));
    EXPECT_TRUE(contains(vidmixer(renderArgs("-", quoted(dir.file("o.mp4"))) + " --size 4x4 --no-audio < /dev/null").err,
                         "--no-audio is for a video input"));
    EXPECT_TRUE(contains(vidmixer(base + " --size 4x4 --frames 1-2 --start 3 < /dev/null").err, "not both"));
    EXPECT_TRUE(contains(vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --size 4x4").err,
                         "--size is for a raw stream"));
    EXPECT_TRUE(contains(vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --frames 5-1").err,
                         "the last frame comes before the first"));
    EXPECT_EQ(vidmixer(renderArgs(quoted(in.text()), quoted(out.text())) + " --no-such-option").exitCode, 2);
    EXPECT_EQ(vidmixer("render").exitCode, 2);
}

TEST(VidmixerHelp, EveryCommandHasHelpAndTheVersionNamesTheModule) {
    TempDir dir;
    for (const char *command : {"", "demo", "new", "info", "edit", "render", "slurm"}) {
        const CommandResult result = runCommand(quoted(KIVO_VIDMIXER) + " " + command + " --help", dir.path());
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_TRUE(contains(result.out, "Usage")) << command << ": " << result.out;
    }
    EXPECT_EQ(runCommand(quoted(KIVO_VIDMIXER), dir.path()).exitCode, 2);
    const CommandResult version = runCommand(quoted(KIVO_VIDMIXER) + " --version", dir.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vidmixer ", 0), 0u) << version.out;
    EXPECT_TRUE(contains(version.out, "kivo_vidmixer.p: system version 2, servers ImageFilterHandler \"Kivo_VidMixer\""))
        << version.out;
}
