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
    std::string decodedRgba(const std::string &file) { return decodedFrom("-i " + quoted(file)); }
    // The frames of the input ffmpeg's arguments give ("-i FILE"), as RGBA.
    std::string decodedFrom(const std::string &input) {
        const CommandResult result = run("ffmpeg -v error " + input + " -map 0:v -f rawvideo -pix_fmt rgba -");
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
    ASSERT_EQ(run("ffmpeg -v error -f lavfi -i color=size=320x240 -frames:v 2 -vf scale=321:241 -c:v ffv1 -pix_fmt bgr0 "
                  "odd.mkv && ffmpeg -v error -f lavfi -i testsrc=size=32x32 -frames:v 1 cover.png && ffmpeg -v error "
                  "-f lavfi -i sine -i cover.png -map 0 -map 1 -t 0.2 -c:a aac -c:v png -disposition:v attached_pic "
                  "song.m4a")
                  .exitCode,
              0);

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
        {"-i song.m4a -o out.mp4", "song.m4a", "has no video stream, only a cover picture"},
        {"-i odd.mkv -o out.mp4", "out.mp4",
         "the frames are 321x241, and libx264's pixel format yuv420p stores colour at half the resolution, which "
         "needs an even width and height: add --codec-option pix_fmt=yuv444p, or give the frames an even size"},
        {"-i h264.mp4 -o out.mp4 --codec-option crf=abc", "out.mp4",
         "the libx264 encoder's option crf does not take \"abc\""},
        {"-i in.mkv -o out.wav", "out.wav", "holds no video; video formats include .mp4, .mov, .mkv, .webm"},
        {"-i in.mkv -o out.mp4 --format-option nonsense=1", "out.mp4", "the mp4 format has no option nonsense"},
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

namespace {

// What ffprobe says of a file: its first stream of the type ("v", "a",
// "s"), the entries asked for as KEY=VALUE lines.
std::string probe(const std::string &dir, const std::string &file, const std::string &entries,
                  const std::string &type = "v") {
    const CommandResult result = runCommand("cd " + quoted(dir) + " && ffprobe -v error -select_streams " + type +
                                                ":0 -show_entries " + entries + " -of default=nw=1 " + file,
                                            dir);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

// Turns an MP4's video a quarter: the track's display matrix (the file's
// last identity matrix, after the movie's) made a 90-degree one.
std::string rotated(std::string mp4) {
    const auto matrix = [](int32_t a, int32_t b, int32_t c, int32_t d) {
        std::string bytes;
        for (int32_t value : {a, b, 0, c, d, 0, 0, 0, 0x40000000})
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes += static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xff);
        return bytes;
    };
    const size_t at = mp4.rfind(matrix(0x10000, 0, 0, 0x10000));
    EXPECT_NE(at, std::string::npos);
    return mp4.replace(at, 36, matrix(0, 0x10000, -0x10000, 0));
}

} // namespace

// Rotation, sample aspect ratio, field order, colour tags, the title, alpha
// and depth, read back with ffprobe as ffmpeg gives them. The scene fades
// the looks out, so frames are compared with ffmpeg's own decode.
TEST_F(Video, WhatTheInputSaysOfItsFramesIsKept) {
    scene::Scene plain = scene::loadSceneFile(dir.file("scene.json"));
    plain.items.front().keys = {{5, {0, 0, 0}, {0, 0, 0}}};
    plain.filters.resize(1);
    plain.filters[0].record = scene::recordOfText("1 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1");
    scene::saveSceneFile(plain, dir.file("scene.json"));
    const std::string source = "ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 ";
    ASSERT_EQ(run(source + "-c:v libx264 upright.mp4 && " + source +
                  "-vf setsar=4/3 -c:v libx264 -flags +ildct+ilme -field_order tt -colorspace bt709 "
                  "-color_primaries bt709 -color_trc bt709 -metadata title=Kivo tags.mp4 && " + source +
                  "-vf \"format=yuva420p,geq=lum='lum(X,Y)':cb='cb(X,Y)':cr='cr(X,Y)':a='X*4'\" -c:v libvpx-vp9 "
                  "alpha.webm && " + source + "-c:v ffv1 -pix_fmt yuv420p10le deep.mkv")
                  .exitCode,
              0);
    dir.write("rot.mp4", rotated(dir.read("upright.mp4")));

    // Turned upright, as ffmpeg shows it, and written without the turn; or kept as stored.
    ASSERT_EQ(vidmixer("-i rot.mp4 -o rot/####.png").exitCode, 0);
    EXPECT_TRUE(decodedFrom("-start_number 5 -i rot/%04d.png") == decodedFrom("-i rot.mp4"));
    ASSERT_EQ(vidmixer("-i rot.mp4 -o upright.mov").exitCode, 0);
    EXPECT_EQ(probe(dir.path(), "upright.mov", "stream=width,height:stream_side_data=rotation"),
              "width=48\nheight=64\n");
    ASSERT_EQ(vidmixer("-i rot.mp4 -o stored.mp4 --no-autorotate").exitCode, 0);
    EXPECT_EQ(probe(dir.path(), "stored.mp4", "stream=width,height:stream_side_data=rotation"),
              "width=64\nheight=48\nrotation=-90\n");

    const std::string tags = "stream=sample_aspect_ratio,field_order,color_space,color_transfer,color_primaries:"
                             "format_tags=title";
    for (const char *output : {"tags.mp4", "tags.mkv"}) {
        ASSERT_EQ(vidmixer(std::string("-i tags.mp4 -o out-") + output).exitCode, 0);
        EXPECT_EQ(probe(dir.path(), std::string("out-") + output, tags), probe(dir.path(), "tags.mp4", tags));
    }
    EXPECT_EQ(probe(dir.path(), "tags.mp4", tags),
              "sample_aspect_ratio=4:3\ncolor_space=bt709\ncolor_transfer=bt709\ncolor_primaries=bt709\n"
              "field_order=tt\nTAG:title=Kivo\n");

    // VP9's alpha, which ffmpeg decodes with libvpx.
    ASSERT_EQ(vidmixer("-i alpha.webm -o alpha/####.png").exitCode, 0);
    EXPECT_EQ(probe(dir.path(), "alpha/0005.png", "stream=pix_fmt"), "pix_fmt=rgba\n");
    EXPECT_TRUE(decodedFrom("-start_number 5 -i alpha/%04d.png") == decodedFrom("-c:v libvpx-vp9 -i alpha.webm"));

    // 10 bits: kept in 16-bit frames, said once; a video output is 8-bit, and says so.
    CommandResult result = vidmixer("-i deep.mkv -o deep/####.png");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(probe(dir.path(), "deep/0005.png", "stream=pix_fmt"), "pix_fmt=rgb48be\n");
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(contains(result.err, "warning: frame 5 has uint16 samples")) << result.err;
    result = vidmixer("-i deep.mkv -o deep.mkv.mp4");
    EXPECT_EQ(result.err, "vidmixer: note: deep.mkv has 10-bit samples; deep.mkv.mp4 is written at 8 bits\n");
}

// Each sound or subtitle stream is copied where the container takes it,
// converted where it does not (with a note), and left out with a warning
// where it cannot be converted; MP4 gets its index at the front.
TEST_F(Video, SoundAndSubtitlesAreCopiedOrConverted) {
    dir.write("s.srt", "1\n00:00:00,000 --> 00:00:00,300\nHello\n");
    const std::string source = "ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -f lavfi -i "
                               "sine=duration=0.4 ";
    ASSERT_EQ(run(source + "-c:v ffv1 -c:a flac flac.mkv && " + source + "-c:v ffv1 -c:a libopus opus.mkv && " +
                  source + "-i s.srt -map 0 -map 1 -map 2 -c:v libx264 -c:a aac -c:s subrip aac.mkv")
                  .exitCode,
              0);
    const struct {
        std::string input, output, sound, says;
    } cases[] = {
        {"flac.mkv", "flac.mp4", "aac", "note: the sound stream 1 (flac) does not fit in flac.mp4's container; it is "
                                        "converted to aac"},
        {"opus.mkv", "opus.mov", "aac", "converted to aac"},
        {"aac.mkv", "aac.webm", "opus", "note: the subtitle stream 2 (subrip) does not fit in aac.webm's container; "
                                        "it is converted to webvtt"},
        {"aac.mkv", "aac.mp4", "aac", "note: the subtitle stream 2 (subrip) does not fit in aac.mp4's container; it "
                                      "is converted to mov_text"},
        {"aac.mkv", "aac.gif", "", "warning: the sound stream 1 (aac) does not fit in aac.gif's container and cannot "
                                   "be converted; it is left out"},
        {"flac.mkv", "forced.mkv --audio-codec libopus", "opus", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.output);
        const CommandResult result = run(quoted(KIVO_VIDMIXER) + " render scene.json -i " + c.input + " -o " + c.output);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(contains(result.err, c.says)) << result.err;
        const std::string file = c.output.substr(0, c.output.find(' '));
        EXPECT_EQ(probe(dir.path(), file, "stream=codec_name", "a"), c.sound.empty() ? "" : "codec_name=" + c.sound + "\n");
        const CommandResult frames = run("ffmpeg -v error -i " + file + " -sn -f null - 2>&1 && ffprobe -v error "
                                         "-count_frames -select_streams v -show_entries stream=nb_read_frames -of "
                                         "csv=p=0 " + file);
        EXPECT_EQ(frames.out, "10\n") << frames.err;
    }
    const CommandResult text = run("ffmpeg -v error -i aac.mp4 -map 0:s -f srt -");
    EXPECT_EQ(text.out, "1\n00:00:00,000 --> 00:00:00,300\nHello\n\n");
    const std::string mp4 = dir.read("aac.mp4");
    EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));
}
