// A video input renders as exactly as an image sequence: renders that are
// narrowed, killed and resumed, or split into jobs and shares give the
// frames of one uninterrupted render, byte for byte; and frame i is the
// frame a straight decode gives, whatever the file's start time or edit
// list. The input is H.264 with B-frames and a key frame every 12 frames,
// and the segments (of 10) do not start at key frames.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "host/media/frame_pattern.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"

using namespace kivo;

namespace {

constexpr int32_t kFrames = 48;
constexpr size_t kFrameBytes = 64 * 48 * 4;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class VideoExact : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
        ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=24 -frames:v 48 -c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p in.mp4");
        scene::Scene s;
        s.fps = 24;
        s.firstFrame = 1;
        s.lastFrame = kFrames;
        s.items.push_back({1, "Fader", {}}); // at rest: scale 1, the look in full
        // B&W film, Old'n'Dusty, whose draws depend on the frames before.
        s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("1 1 1 0 0 1 0 2 255 255 255 1 0 0 0 0 0 1")});
        scene::saveSceneFile(s, dir.file("whole.json"));
        s.segment = 10;
        scene::saveSceneFile(s, dir.file("segments.json"));
        // Faded out: the frames as decoded.
        s.items.front().keys = {{1, {0, 0, 0}, {0, 0, 0}}};
        s.segment = 5;
        scene::saveSceneFile(s, dir.file("plain.json"));
    }

    void ffmpeg(const std::string &arguments) {
        const CommandResult made = runCommand("cd " + quoted(dir.path()) + " && ffmpeg -v error -y " + arguments,
                                              dir.path());
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    CommandResult vidmixer(const std::string &arguments) {
        return runCommand("cd " + quoted(dir.path()) + " && exec " + quoted(KIVO_VIDMIXER) + " " + arguments,
                          dir.path());
    }
    std::string render(const std::string &scene, const std::string &out, const std::string &input = "in.mp4") {
        return "render " + scene + " -i " + input + " -o " + out + "/####.png";
    }
    std::vector<int32_t> framesIn(const std::string &out) {
        return media::FramePattern(dir.file(out + "/####.png")).discover();
    }
    std::string frame(const std::string &out, int32_t number) {
        return dir.read(media::FramePattern(dir.file(out + "/####.png")).pathOf(number));
    }
    // The frames in out are those of ref, byte for byte, and there are count of them.
    void expectSame(const std::string &out, const std::string &ref, size_t count) {
        const std::vector<int32_t> found = framesIn(out);
        EXPECT_EQ(found.size(), count) << out;
        for (int32_t number : found)
            EXPECT_TRUE(frame(out, number) == frame(ref, number)) << out << " frame " << number;
    }
    // The frames of the input ("-i FILE") as ffmpeg decodes them to RGBA.
    std::string decoded(const std::string &input) {
        const CommandResult result = runCommand(
            "cd " + quoted(dir.path()) + " && ffmpeg -v error " + input + " -f rawvideo -pix_fmt rgba -", dir.path());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    TempDir dir;
};

} // namespace

TEST_F(VideoExact, NarrowedResumedAndSplitRendersGiveTheUninterruptedFrames) {
    ASSERT_EQ(vidmixer(render("whole.json", "ref") + " -q").exitCode, 0);
    ASSERT_EQ(vidmixer(render("segments.json", "sref") + " -q").exitCode, 0);
    ASSERT_EQ(framesIn("ref").size(), size_t(kFrames));

    CommandResult result = vidmixer(render("whole.json", "middle") + " --frames 21-25");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "replaying 20 frames first")) << result.err;
    expectSame("middle", "ref", 5);
    ASSERT_EQ(vidmixer(render("whole.json", "fresh") + " --frames 21-25 --no-replay -q").exitCode, 0);
    EXPECT_NE(frame("fresh", 21), frame("ref", 21)); // the look depends on the history
    // Frames 33-35 replay from their segment's start, 31, after a seek to the key frame at 25.
    result = vidmixer(render("segments.json", "seek") + " --frames 33-35");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "replaying 2 frames first")) << result.err;
    expectSame("seek", "sref", 3);

    ASSERT_EQ(vidmixer(render("segments.json", "jobs") + " --jobs 2 -q").exitCode, 0);
    expectSame("jobs", "sref", kFrames);
    for (int share = 0; share < 3; ++share)
        ASSERT_EQ(vidmixer(render("segments.json", "shares") + " -q --segments " + std::to_string(share) + "/3")
                      .exitCode,
                  0);
    expectSame("shares", "sref", kFrames);

    // Killed part way (one frame at a time, so that it is still running), then resumed.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string line = "exec " + quoted(KIVO_VIDMIXER) + " " + render("whole.json", "out") +
                                 " -q --writers 1 >/dev/null 2>&1";
        ::chdir(dir.path().c_str());
        ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 60000 && framesIn("out").size() < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const size_t finished = framesIn("out").size();
    ASSERT_GE(finished, 5u);
    result = vidmixer(render("whole.json", "out") + " --resume");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    if (finished < size_t(kFrames)) {
        EXPECT_TRUE(contains(result.err, "keeping " + std::to_string(finished) + " finished")) << result.err;
    }
    expectSame("out", "ref", kFrames);

    // A video output is written whole by one process.
    result = vidmixer("render segments.json -i in.mp4 -o x.mp4 --jobs 2");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(contains(result.err, "--jobs needs an output of separate frames, and x.mp4 is written whole by one "
                                     "process: write an image sequence such as x/####.png"))
        << result.err;
}

// A start time of 2.5 s, and an edit list that starts the video inside a
// group of pictures (ffmpeg cuts at 0.6 s without decoding: the first
// packets are decoded, not shown).
TEST_F(VideoExact, FrameIIsTheStraightDecodesWhateverTheStartTimeOrEditList) {
    ffmpeg("-i in.mp4 -output_ts_offset 2.5 -c copy late.mp4");
    ffmpeg("-ss 0.6 -i in.mp4 -c copy cut.mp4");
    for (const char *input : {"late.mp4", "cut.mp4"}) {
        SCOPED_TRACE(input);
        const std::string straight = decoded(std::string("-i ") + input);
        const size_t count = straight.size() / kFrameBytes;
        ASSERT_GT(count, 20u);
        const std::string name = std::filesystem::path(input).stem().string();
        ASSERT_EQ(vidmixer(render("plain.json", name, input) + " -q").exitCode, 0);
        EXPECT_EQ(framesIn(name).size(), count);
        // Frames 20-22, after a seek and a replay from 16.
        ASSERT_EQ(vidmixer(render("plain.json", name + "-part", input) + " -q --frames 20-22").exitCode, 0);
        EXPECT_TRUE(decoded("-start_number 20 -i " + name + "-part/%04d.png") ==
                    straight.substr(19 * kFrameBytes, 3 * kFrameBytes));
        ASSERT_EQ(vidmixer(render("segments.json", name + "-ref", input) + " -q").exitCode, 0);
        ASSERT_EQ(vidmixer(render("segments.json", name + "-seek", input) + " -q --frames 23-27").exitCode, 0);
        expectSame(name + "-seek", name + "-ref", 5);
    }
}
