// Renders that are split, resumed or narrowed give the frames of one
// uninterrupted render: an Old'n'Dusty film look, whose generator carries
// from frame to frame and whose draw count depends on that history.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"
#include "test_images.h"

using namespace kivo;

namespace {

constexpr int32_t kFrames = 48, kSegment = 8;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

int lineCount(const std::string &text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

class SplitRender : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.file("in"));
        for (int32_t frame = 1; frame <= kFrames; ++frame)
            media::writeImageFile(in.pathOf(frame), patternImage(160, 120, frame));
        scene::Scene s;
        s.firstFrame = 1;
        s.lastFrame = kFrames;
        s.items.push_back({1, "Fader", {}}); // at rest: scale 1, the look in full
        // B&W film, Old'n'Dusty, faded by item 1's scale.
        s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("1 1 1 0 0 1 0 2 255 255 255 1 0 0 0 0 0 1")});
        scene::saveSceneFile(s, dir.file("whole.json"));
        s.segment = kSegment;
        scene::saveSceneFile(s, dir.file("segments.json"));
        s.segment = 0;
        s.millisecondNumbers = true;
        scene::saveSceneFile(s, dir.file("milliseconds.json"));
    }

    std::string vidmixerLine(const std::string &arguments) {
        return "LSAN_OPTIONS=print_suppressions=0:suppressions=" + quoted(KIVO_OIIO_LEAKS) + " exec " +
               quoted(KIVO_VIDMIXER) + " " + arguments;
    }
    CommandResult vidmixer(const std::string &arguments) { return runCommand(vidmixerLine(arguments), dir.path()); }
    std::string render(const std::string &scene, const std::string &out) {
        return "render " + quoted(dir.file(scene)) + " -i " + quoted(in.text()) + " -o " +
               quoted(dir.file(out + "/####.png"));
    }
    // Starts vidmixer in the background; its pid.
    pid_t start(const std::string &arguments) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string line = vidmixerLine(arguments) + " >/dev/null 2>" + quoted(dir.file("bg.err"));
            ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        return pid;
    }
    int finish(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    size_t framesIn(const std::string &out) { return media::FramePattern(dir.file(out + "/####.png")).discover().size(); }
    // Waits until the output has at least count frames; false after 60 s.
    bool waitForFrames(const std::string &out, size_t count) {
        for (int i = 0; i < 60000; ++i) {
            if (framesIn(out) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    host::RgbaImage frame(const std::string &out, int32_t number) {
        return media::readImageFile(media::FramePattern(dir.file(out + "/####.png")).pathOf(number)).image;
    }
    // The frames in out equal those in ref, and there are count of them.
    void expectSame(const std::string &out, const std::string &ref, size_t count) {
        const std::vector<int32_t> found = media::FramePattern(dir.file(out + "/####.png")).discover();
        EXPECT_EQ(found.size(), count) << out;
        for (int32_t number : found)
            EXPECT_EQ(frame(out, number), frame(ref, number)) << out << " frame " << number;
    }

    TempDir dir;
    media::FramePattern in{dir.file("in/####.png")};
};

} // namespace

TEST_F(SplitRender, SubRangeAndKilledThenResumedRenderGiveTheUninterruptedFrames) {
    ASSERT_EQ(vidmixer(render("whole.json", "ref") + " -q").exitCode, 0);

    CommandResult result = vidmixer(render("whole.json", "middle") + " --frames 20-27");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "rendered 8 frames")) << result.err;
    EXPECT_TRUE(contains(result.err, "replaying 19 frames first")) << result.err;
    expectSame("middle", "ref", 8);
    // The look depends on the history: without replay the first frames differ.
    ASSERT_EQ(vidmixer(render("whole.json", "fresh") + " --frames 20-27 --no-replay -q").exitCode, 0);
    EXPECT_NE(frame("fresh", 20), frame("ref", 20));

    const pid_t pid = start(render("whole.json", "out") + " -q");
    const bool halfway = waitForFrames("out", kFrames / 3);
    ::kill(pid, SIGKILL);
    EXPECT_EQ(finish(pid), 128 + SIGKILL);
    ASSERT_TRUE(halfway);
    const size_t finished = framesIn("out");
    ASSERT_LT(finished, size_t(kFrames)) << "the render ended before it was killed";
    struct stat before {};
    ::stat(dir.file("out/0001.png").c_str(), &before);

    result = vidmixer(render("whole.json", "out") + " --resume");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "keeping " + std::to_string(finished) + " finished")) << result.err;
    expectSame("out", "ref", kFrames);
    struct stat after {};
    ::stat(dir.file("out/0001.png").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino); // a finished frame stays as it was
    // A file cut short is rendered again; with everything finished, nothing is.
    std::filesystem::resize_file(dir.file("out/0030.png"), 40);
    result = vidmixer(render("whole.json", "out") + " --resume");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "rendered 1 frame ")) << result.err;
    expectSame("out", "ref", kFrames);
    result = vidmixer(render("whole.json", "out") + " --resume");
    EXPECT_TRUE(contains(result.err, "nothing to render")) << result.err;
}

TEST_F(SplitRender, SegmentsOverJobsSharesAndSubRangesGiveTheOneProcessFrames) {
    ASSERT_EQ(vidmixer(render("segments.json", "ref") + " -q").exitCode, 0);

    CommandResult result = vidmixer(render("segments.json", "jobs") + " --jobs 2");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "rendered 48 frames to " + dir.file("jobs/####.png") + " with 2 workers"))
        << result.err;
    expectSame("jobs", "ref", kFrames);

    for (int share = 0; share < 3; ++share)
        ASSERT_EQ(vidmixer(render("segments.json", "shares") + " -q --segments " + std::to_string(share) + "/3")
                      .exitCode,
                  0);
    expectSame("shares", "ref", kFrames);

    // A stream starts a fresh module at each segment too.
    {
        std::ofstream raw(dir.file("in.raw"), std::ios::binary);
        for (int32_t number = 1; number <= kFrames; ++number) {
            const host::RgbaImage image = media::readImageFile(in.pathOf(number)).image;
            raw.write(reinterpret_cast<const char *>(image.pixels.data()), std::streamsize(image.pixels.size()));
        }
    }
    result = vidmixer("render " + quoted(dir.file("segments.json")) + " -i - --size 160x120 -o " +
                      quoted(dir.file("stream/####.png")) + " -q < " + quoted(dir.file("in.raw")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    expectSame("stream", "ref", kFrames);

    // Frames 21-23 replay only from their segment's start, frame 17.
    result = vidmixer(render("segments.json", "middle") + " --frames 21-23");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "replaying 4 frames first")) << result.err;
    expectSame("middle", "ref", 3);
}

TEST_F(SplitRender, CrashedWorkerIsNamedWithItsSegmentAndTheOthersFramesStay) {
    ASSERT_EQ(vidmixer(render("segments.json", "ref") + " -q").exitCode, 0);
    const pid_t pid = start(render("segments.json", "out") + " --jobs 2 -q");
    // Worker 1 renders share 0/2, frames 1-24; worker 2 frames 25-48. Once
    // worker 1 has finished its first frame, it crashes.
    for (int i = 0; i < 60000 && !std::filesystem::exists(dir.file("out/0001.png")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::ifstream childrenFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t first = 0, child = 0;
    while (childrenFile >> child) {
        std::ifstream cmdline("/proc/" + std::to_string(child) + "/cmdline");
        const std::string arguments((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        if (contains(arguments, std::string("--segments\0" "0/2", 14))) first = child;
    }
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL); // as the kernel does to a process out of memory
    EXPECT_EQ(finish(pid), 1);
    const std::string err = dir.read("bg.err");
    EXPECT_TRUE(contains(err, "vidmixer: worker 1 of 2, segment ")) << err;
    EXPECT_TRUE(contains(err, "crashed (Killed, signal 9)")) << err;
    EXPECT_TRUE(contains(err, "--resume")) << err;
    const std::vector<int32_t> found = media::FramePattern(dir.file("out/####.png")).discover();
    EXPECT_LT(found.size(), size_t(kFrames));
    for (int32_t number = 25; number <= kFrames; ++number)
        EXPECT_TRUE(std::binary_search(found.begin(), found.end(), number)) << "worker 2 lost frame " << number;
    expectSame("out", "ref", found.size());

    const CommandResult result = vidmixer(render("segments.json", "out") + " --jobs 2 --resume");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    expectSame("out", "ref", kFrames);
}

// Frames numbered by time stand alone: split or narrowed, they need no
// replay, and a worker reports each frame as its own segment.
TEST_F(SplitRender, FramesNumberedByTimeSplitWithoutReplay) {
    ASSERT_EQ(vidmixer(render("milliseconds.json", "ref") + " -q").exitCode, 0);
    CommandResult result = vidmixer(render("milliseconds.json", "out") + " --jobs 2 -q");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    expectSame("out", "ref", kFrames);
    result = vidmixer(render("milliseconds.json", "middle") + " --frames 21-23");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(contains(result.err, "replaying")) << result.err;
    expectSame("middle", "ref", 3);
    result = vidmixer(render("milliseconds.json", "worker") + " --segments 1/2 --worker-report");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (int32_t number = kFrames / 2 + 1; number <= kFrames; ++number)
        EXPECT_TRUE(contains(result.out, "S " + std::to_string(number - 1) + "\n")) << number << ": " << result.out;
}

TEST_F(SplitRender, BadRequestsGetOneLineAndLeaveTheFramesAlone) {
    ASSERT_EQ(vidmixer(render("segments.json", "out") + " -q --frames 1-8").exitCode, 0);
    const std::string frameOne = dir.read("out/0001.png");
    const struct {
        std::string arguments;
        int status;
        std::string says;
    } cases[] = {
        {render("segments.json", "out") + " --segments 3/3", 2, "I must be from 0 to N-1"},
        {render("segments.json", "out") + " --segments 1", 2, "expected I/N"},
        {render("segments.json", "out") + " --segments -1/2", 2, "I must be from 0 to N-1"},
        {render("segments.json", "out") + " --jobs 0", 2, "--jobs must be at least 1"},
        {render("segments.json", "out") + " --jobs 2 --segments 0/2", 2, "not both"},
        {render("whole.json", "out") + " --jobs 2", 2, "has none: add them with `vidmixer set SCENE segment=K`"},
        {render("whole.json", "out") + " --segments 0/2", 2, "has none"},
        {"render " + quoted(dir.file("segments.json")) + " -i - --size 4x4 -o " + quoted(dir.file("out/####.png")) +
             " --resume < /dev/null",
         2, "--resume needs an image sequence"},
        // Output frames of another render: outside this render's frames, or of another size.
        {render("segments.json", "long") + " --resume", 1, "frame 99 has no input frame (the input has 1 to 48)"},
        {render("segments.json", "small") + " --resume", 1, "is 4x4, but this render makes 160x120 frames"},
        {"new " + quoted(dir.file("new.json")) + " --segment 0", 2, "--segment must be at least 1 frame"},
        {"slurm " + quoted(dir.file("whole.json")) + " -i in/####.png -o out/####.png --tasks 2", 2, "has none"},
        {"slurm " + quoted(dir.file("segments.json")) + " -i in/####.png -o out/####.png --tasks 0", 2,
         "--tasks must be at least 1"},
    };
    std::filesystem::create_directory(dir.file("small"));
    media::writeImageFile(dir.file("small/0003.png"), patternImage(4, 4, 3));
    std::filesystem::create_directory(dir.file("long"));
    std::filesystem::copy_file(dir.file("out/0001.png"), dir.file("long/0099.png"));
    for (const auto &bad : cases) {
        const CommandResult result = vidmixer(bad.arguments);
        EXPECT_EQ(result.exitCode, bad.status) << bad.arguments << "\n" << result.err;
        EXPECT_EQ(lineCount(result.err), 1) << result.err;
        EXPECT_TRUE(contains(result.err, bad.says)) << bad.arguments << "\n" << result.err;
    }
    EXPECT_EQ(dir.read("out/0001.png"), frameOne);
    EXPECT_EQ(framesIn("out"), 8u);
    EXPECT_EQ(framesIn("small"), 1u);
    EXPECT_EQ(framesIn("long"), 1u);
    // Frames of the same input in another range are this render's own.
    const CommandResult more = vidmixer(render("segments.json", "out") + " --resume --frames 9-16 -q");
    EXPECT_EQ(more.exitCode, 0) << more.err;
    EXPECT_EQ(dir.read("out/0001.png"), frameOne);
    EXPECT_EQ(framesIn("out"), 16u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.json")));

    // Without Slurm: a clear message.
    const CommandResult noSlurm = runCommand("PATH=/nonexistent " + vidmixerLine("slurm " + quoted(dir.file(
                                                 "segments.json")) + " -i in/####.png -o out/####.png --tasks 2"),
                                             dir.path());
    EXPECT_EQ(noSlurm.exitCode, 1);
    EXPECT_TRUE(contains(noSlurm.err, "Slurm is not installed here (no sbatch on the PATH)")) << noSlurm.err;

    // A scene's segments: set by new, shown by info.
    ASSERT_EQ(vidmixer("new " + quoted(dir.file("new.json")) + " --segment 12").exitCode, 0);
    EXPECT_EQ(scene::loadSceneFile(dir.file("new.json")).segment, 12);
    EXPECT_TRUE(contains(vidmixer("info " + quoted(dir.file("new.json"))).out, "Segments of 12 frames"));
    ASSERT_EQ(vidmixer("set " + quoted(dir.file("new.json")) + " segment=6 sepia=on").exitCode, 0);
    EXPECT_EQ(scene::loadSceneFile(dir.file("new.json")).segment, 6);
    const CommandResult zero = vidmixer("set " + quoted(dir.file("new.json")) + " segment=0");
    EXPECT_EQ(zero.exitCode, 2);
    EXPECT_TRUE(contains(zero.err, "segment=0: a segment is a number of frames from 1, or none")) << zero.err;
    ASSERT_EQ(vidmixer("set " + quoted(dir.file("new.json")) + " segment=none").exitCode, 0);
    EXPECT_EQ(scene::loadSceneFile(dir.file("new.json")).segment, 0);
}
