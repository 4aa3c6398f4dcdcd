// vidmixer render on video files, against the real ffmpeg: a lossless round
// trip equals the raw-pipe path frame for frame, alpha included, the sound
// is copied packet for packet, and each kind of bad input fails in one line
// naming the file, leaving no output behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"

using namespace kivo;

namespace {

constexpr const char *kSize = "64x48";
constexpr int kFrames = 12;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const auto newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

// Size and checksum of each packet of the file's sound stream, without the
// timestamps, whose units differ between containers.
std::vector<std::string> soundPackets(const std::string &file, const std::string &scratch) {
    const CommandResult result =
        runCommand("ffmpeg -v error -i " + quoted(file) + " -map 0:a -c copy -f framemd5 -", scratch);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> packets;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto size = line.rfind(',', line.rfind(',') - 1);
        packets.push_back(line.substr(size));
    }
    return packets;
}

class Video : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
        // An aged film look faded in by item 1, then an RGB look: the frames
        // change from one to the next, alpha included.
        scene::Scene s;
        s.fps = 25;
        s.firstFrame = 5;
        s.lastFrame = 5 + kFrames - 1;
        s.items.push_back({1, "Fader", {{5, {0, 0, 0}, {0.2, 0.2, 0.2}}, {16, {0, 0, 0}, {1, 1, 1}}}});
        s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("1 2 3 0 0 1 0 2 255 255 255 1 1 0 1 1 0 1")});
        s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("1 1 1 0 0 2 0 1 10 200 30 0 0 0 0 0 0 1")});
        scene::saveSceneFile(s, dir.file("scene.json"));
    }

    // Runs in the test's directory, so messages name files as given.
    CommandResult run(const std::string &command) {
        return runCommand("cd " + quoted(dir.path()) + " && " + command, dir.path());
    }
    CommandResult vidmixer(const std::string &arguments) {
        return run(quoted(KIVO_VIDMIXER) + " render " + quoted(dir.file("scene.json")) + " -q " + arguments);
    }
    // A test video: FFV1 with an alpha ramp, and 16-bit sound.
    void makeInput(const std::string &name) {
        const CommandResult made = run(
            std::string("ffmpeg -v error -f lavfi -i \"testsrc=size=") + kSize +
            ":rate=25,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*4+N'\" -f lavfi -i "
            "sine=frequency=300:sample_rate=8000 -frames:v " +
            std::to_string(kFrames) + " -c:v ffv1 -pix_fmt bgra -c:a pcm_s16le -t 0.48 " + quoted(dir.file(name)));
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    std::string decodedRgba(const std::string &file) {
        const CommandResult result =
            run("ffmpeg -v error -i " + quoted(file) + " -map 0:v -f rawvideo -pix_fmt rgba -");
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }
    void expectNoDebris() {
        for (const std::string &name : dir.entries())
            EXPECT_NE(name.rfind(".out", 0), 0u) << "left behind: " << name;
    }

    TempDir dir;
};

} // namespace

// Into QuickTime (PNG by default when there is alpha) and Matroska (FFV1).
TEST_F(Video, LosslessRoundTripEqualsTheRawPipeAndCopiesTheSound) {
    makeInput("in.mkv");
    const std::string piped = run("ffmpeg -v error -i " + quoted(dir.file("in.mkv")) +
                                  " -f rawvideo -pix_fmt rgba - | " + quoted(KIVO_VIDMIXER) + " render " +
                                  quoted(dir.file("scene.json")) + " -q -i - --size " + kSize + " -o -")
                                  .out;
    ASSERT_EQ(piped.size(), size_t{64 * 48 * 4 * kFrames});
    for (const char *output : {"out.mov", "out.mkv"}) {
        SCOPED_TRACE(output);
        const CommandResult result = vidmixer("-i in.mkv -o " + std::string(output));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(decodedRgba(dir.file(output)) == piped);
        const std::vector<std::string> sound = soundPackets(dir.file("in.mkv"), dir.path());
        EXPECT_GT(sound.size(), 2u);
        EXPECT_EQ(soundPackets(dir.file(output), dir.path()), sound);
    }
    // Without the sound, and with another codec and its options.
    CommandResult result = vidmixer("-i in.mkv -o quiet.mov --no-audio --codec qtrle");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(decodedRgba(dir.file("quiet.mov")) == piped);
    EXPECT_EQ(run("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 quiet.mov").out, "qtrle\n");
    // Frames chosen by number keep their numbers, as the same frames on a stream do.
    result = vidmixer("-i in.mkv -o part.mkv --frames 8-10 --no-replay");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const size_t frameBytes = 64 * 48 * 4;
    dir.write("part.rgba", decodedRgba(dir.file("in.mkv")).substr(3 * frameBytes, 3 * frameBytes));
    const std::string partPiped = vidmixer(std::string("-i - --size ") + kSize + " --frames 8-10 -o - < part.rgba").out;
    ASSERT_EQ(partPiped.size(), 3 * frameBytes);
    EXPECT_TRUE(decodedRgba(dir.file("part.mkv")) == partPiped);
    expectNoDebris();
}

// libx264 gets a short lookahead unless the user sets it, or a preset that
// sets it (x264 records its settings in the stream).
TEST_F(Video, EncoderMemoryDefaultsGiveWayToTheUsersOptions) {
    makeInput("in.mkv");
    const struct {
        std::string options, expected;
    } cases[] = {
        {"", "rc_lookahead=10"},
        {"--codec-option rc-lookahead=20", "rc_lookahead=20"},
        {"--codec-option preset=medium", "rc_lookahead=40"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options);
        std::filesystem::remove(dir.file("x.mp4"));
        const CommandResult result = vidmixer("-i in.mkv -o x.mp4 --no-audio --codec libx264 " + c.options);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(contains(dir.read("x.mp4"), " " + c.expected + " "));
    }
}

TEST_F(Video, BadInputsFailInOneLineNamingTheFile) {
    makeInput("in.mkv");
    dir.write("text.mp4", "not a video at all\n");
    ASSERT_EQ(run("ffmpeg -v error -f lavfi -i sine -t 0.5 sound.wav").exitCode, 0);
    // Cut in half: it ends long before the length it declares.
    const std::string whole = dir.read("in.mkv");
    dir.write("cut.mkv", whole.substr(0, whole.size() / 2));
    // H.264 whose middle is overwritten: decoding fails part way.
    ASSERT_EQ(run("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 40 -c:v libx264 "
                  "-movflags +faststart h264.mp4")
                  .exitCode,
              0);
    std::string damaged = dir.read("h264.mp4");
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 3000; ++i)
        damaged[i] = static_cast<char>(i * 131);
    dir.write("damaged.mp4", damaged);
    dir.write("file", "");
    // H.264 in an mp4 whose sample entry names a codec no decoder knows.
    std::string unknown = dir.read("h264.mp4");
    for (size_t at = unknown.find("avc1"); at != std::string::npos; at = unknown.find("avc1", at))
        unknown.replace(at, 4, "kvxz");
    dir.write("nodec.mp4", unknown);

    const struct {
        std::string arguments, file, reason;
    } cases[] = {
        {"-i text.mp4 -o out.mp4", "text.mp4", "cannot be read as a video or an image"},
        {"-i sound.wav -o out.mp4", "sound.wav", "has no video stream"},
        {"-i cut.mkv -o out.mkv", "cut.mkv", "cut short"},
        {"-i damaged.mp4 -o out.mkv", "damaged.mp4", "damaged"},
        {"-i nodec.mp4 -o out/####.png", "nodec.mp4", "cannot decode its video (unknown codec kvxz)"},
        {"-i in.mkv -o out.mp4 --codec ffv1", "out.mp4", "cannot be stored in the mp4 format"},
        {"-i in.mkv -o out.mkv --codec-option no_such_option=1", "out.mkv", "has no option no_such_option"},
        {"-i in.mkv -o file/out.mkv", "file", "cannot create the output directory"},
        {"-i in.mkv -o out.unknown", "out.unknown", "cannot tell the video format"},
        {"-i in.mkv -o in.mkv", "in.mkv", "would overwrite the input"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandResult result = vidmixer(c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        const std::string line = lastLine(result.err);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(contains(line, "vidmixer: " + c.file + ": ")) << line;
        EXPECT_TRUE(contains(line, c.reason)) << line;
    }
    for (const char *name : {"out.mp4", "out.mkv", "out.unknown"})
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    EXPECT_EQ(dir.read("in.mkv"), whole);
    expectNoDebris();
}

// A render killed while it writes a video (here into folders it made) leaves
// its temporary file, and the next render into that folder removes it; a
// scene made with --from has the video's frames and rate.
TEST_F(Video, AKilledRunsTemporaryFileIsRemovedByTheNextRender) {
    makeInput("in.mkv");
    int feed[2];
    ASSERT_EQ(::pipe(feed), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(feed[0], STDIN_FILENO);
        ::close(feed[1]);
        ::execl(KIVO_VIDMIXER, "vidmixer", "render", dir.file("scene.json").c_str(), "-q", "-i", "-", "--size", kSize,
                "-o", dir.file("deep/er/out.mkv").c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(feed[0]);
    const auto temporaries = [&] {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(dir.file("deep/er"), error))
            if (entry.path().filename().string().rfind(".out.tmp-" + std::to_string(pid) + "-", 0) == 0)
                found.push_back(entry.path().filename().string());
        return found;
    };
    for (int i = 0; i < 6000 && temporaries().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(feed[1]);
    ASSERT_EQ(temporaries().size(), 1u) << "no temporary file of the killed render";

    const CommandResult result = vidmixer("-i in.mkv -o deep/er/other.mkv");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    EXPECT_EQ(dir.entries("deep/er"), (std::vector<std::string>{"other.mkv"}));

    ASSERT_EQ(run(quoted(KIVO_VIDMIXER) + " new from.json --from in.mkv").exitCode, 0);
    const scene::Scene made = scene::loadSceneFile(dir.file("from.json"));
    EXPECT_EQ(made.firstFrame, 1);
    EXPECT_EQ(made.lastFrame, kFrames);
    EXPECT_EQ(made.fps, 25);
}
