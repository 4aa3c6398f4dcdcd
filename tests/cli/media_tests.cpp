// Image sequences, image files and raw streams as the render uses them.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include "host/media/atomic_file.h"
#include "host/media/encoder_policy.h"
#include "host/media/frame_pattern.h"
#include "host/media/frame_sink.h"
#include "host/media/frame_source.h"
#include "host/media/image_file.h"
#include "host/media/raw_stream.h"
#include "run_command.h"
#include "temp_dir.h"
#include "test_images.h"

using namespace kivo::media;
using kivo::host::RgbaImage;

namespace {

std::string errorOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const std::exception &error) {
        return error.what();
    }
    return "(no error)";
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(FramePattern, HashesAndPrintfName) {
    EXPECT_EQ(FramePattern("frames/####.png").pathOf(12), "frames/0012.png");
    EXPECT_EQ(FramePattern("frames/####.png").pathOf(123456), "frames/123456.png");
    EXPECT_EQ(FramePattern("frames/####.png").pathOf(-5), "frames/-005.png");
    EXPECT_EQ(FramePattern("a.%04d.exr").pathOf(7), "a.0007.exr");
    EXPECT_EQ(FramePattern("shot_%d.tif").pathOf(7), "shot_7.tif");
    EXPECT_EQ(FramePattern("100%%/f#.png").pathOf(3), "100%/f3.png");
    EXPECT_EQ(FramePattern("dir.v2/#.png").directory(), "dir.v2/");
    EXPECT_EQ(FramePattern("#.png").directory(), ".");
}

TEST(FramePattern, FileNamesMustBeWhatThePatternWrites) {
    const FramePattern hashes("f/####.png");
    EXPECT_EQ(hashes.frameOf("0012.png"), 12);
    EXPECT_EQ(hashes.frameOf("10000.png"), 10000);
    EXPECT_EQ(hashes.frameOf("-005.png"), -5);
    EXPECT_EQ(hashes.frameOf("12.png"), std::nullopt);
    EXPECT_EQ(hashes.frameOf("00012.png"), std::nullopt);
    EXPECT_EQ(hashes.frameOf("0012.jpg"), std::nullopt);
    EXPECT_EQ(hashes.frameOf("+012.png"), std::nullopt);
    EXPECT_EQ(hashes.frameOf(".png"), std::nullopt);
    EXPECT_EQ(hashes.frameOf("99999999999.png"), std::nullopt);
    const FramePattern plain("f/%d.png");
    EXPECT_EQ(plain.frameOf("7.png"), 7);
    EXPECT_EQ(plain.frameOf("07.png"), std::nullopt);
}

TEST(FramePattern, BadPatternsSayWhy) {
    EXPECT_TRUE(contains(errorOf([] { FramePattern("frames/shot.png"); }), "no frame number"));
    EXPECT_TRUE(contains(errorOf([] { FramePattern("f/##_%04d.png"); }), "more than one"));
    EXPECT_TRUE(contains(errorOf([] { FramePattern("f/#/a.png"); }), "file name"));
    EXPECT_TRUE(contains(errorOf([] { FramePattern("f/%5d.png"); }), "%0Nd"));
    EXPECT_TRUE(contains(errorOf([] { FramePattern("f/%x.png"); }), "%0Nd"));
}

TEST(FramePattern, DiscoverListsMatchingFilesInOrder) {
    TempDir dir;
    for (const char *name : {"0010.png", "0002.png", "0003.png", "2.png", "0004.jpg", "notes.txt", ".0005.tmp-1.png"})
        dir.write(name, "x");
    std::filesystem::create_directory(dir.file("0007.png"));
    EXPECT_EQ(FramePattern(dir.file("####.png")).discover(), (std::vector<int32_t>{2, 3, 10}));
    EXPECT_TRUE(FramePattern(dir.file("missing/####.png")).discover().empty());
}

TEST(SequenceFrames, GapsAndRanges) {
    TempDir dir;
    for (int frame : {3, 4, 5, 7})
        writeImageFile(FramePattern(dir.file("####.png")).pathOf(frame), RgbaImage(2, 2));
    const FramePattern pattern(dir.file("####.png"));
    EXPECT_EQ(sequenceFrames(pattern, FrameRange{3, 5}), (std::vector<int32_t>{3, 4, 5}));
    EXPECT_EQ(sequenceFrames(pattern, FrameRange{7, 7}), (std::vector<int32_t>{7}));
    const std::string gap = errorOf([&] { sequenceFrames(pattern, std::nullopt); });
    EXPECT_TRUE(contains(gap, dir.file("0006.png"))) << gap;
    EXPECT_TRUE(contains(gap, "frame 6 is missing")) << gap;
    EXPECT_TRUE(contains(errorOf([&] { sequenceFrames(pattern, FrameRange{1, 4}); }), "frame 1 is missing"));
    EXPECT_TRUE(contains(errorOf([&] { sequenceFrames(pattern, FrameRange{7, 8}); }), "frame 8 is missing"));
    EXPECT_TRUE(contains(errorOf([&] { sequenceFrames(FramePattern(dir.file("x/####.png")), std::nullopt); }),
                         "no frames found"));
}

TEST(ImageFiles, PngKeepsColourAndStraightAlphaExactly) {
    TempDir dir;
    RgbaImage image = patternImage(17, 9, 1);
    image.at(0, 0)[3] = 0; // colour under zero alpha must survive too
    image.at(0, 0)[0] = 200;
    writeImageFile(dir.file("a.png"), image);
    const DecodedImage back = readImageFile(dir.file("a.png"));
    EXPECT_EQ(back.image, image);
    EXPECT_EQ(back.sampleType, "uint8");
    for (const std::string name : {"a.tif", "a.tga"}) {
        writeImageFile(dir.file(name), image);
        EXPECT_EQ(readImageFile(dir.file(name)).image, image) << name;
    }
}

TEST(ImageFiles, OtherDepthsAndChannelCountsAreConverted) {
    TempDir dir;
    const RgbaImage image = patternImage(8, 4, 2);
    writeImageFile(dir.file("deep.tif"), image, "uint16");
    const DecodedImage deep = readImageFile(dir.file("deep.tif"));
    EXPECT_EQ(deep.sampleType, "uint16");
    EXPECT_EQ(deep.image, image); // 8 -> 16 -> 8 bits is exact

    writeImageFile(dir.file("float.exr"), image, "float");
    const DecodedImage exr = readImageFile(dir.file("float.exr"));
    EXPECT_EQ(exr.sampleType, "float");
    EXPECT_EQ(exr.image, image);

    // JPEG has no alpha: written as RGB, read back opaque.
    writeImageFile(dir.file("a.jpg"), image);
    const RgbaImage jpeg = readImageFile(dir.file("a.jpg")).image;
    ASSERT_EQ(jpeg.width, 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(jpeg.at(x, y)[3], 255);
}

TEST(ImageFiles, GreyBecomesRgbAndMissingAlphaIsOpaque) {
    TempDir dir;
    // A one-channel and a three-channel file written by ffmpeg-free means: PPM/PGM text.
    dir.write("g.pgm", "P2\n2 1\n255\n7 250\n");
    const RgbaImage grey = readImageFile(dir.file("g.pgm")).image;
    EXPECT_EQ(std::vector<uint8_t>(grey.pixels.begin(), grey.pixels.end()),
              (std::vector<uint8_t>{7, 7, 7, 255, 250, 250, 250, 255}));
    dir.write("c.ppm", "P3\n1 1\n255\n1 2 3\n");
    const RgbaImage rgb = readImageFile(dir.file("c.ppm")).image;
    EXPECT_EQ(std::vector<uint8_t>(rgb.pixels.begin(), rgb.pixels.end()), (std::vector<uint8_t>{1, 2, 3, 255}));
}

TEST(ImageFiles, AnOpaqueFrameIsWrittenWithoutAlpha) {
    TempDir dir;
    RgbaImage image = patternImage(6, 3, 4);
    for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
    writeImageFile(dir.file("opaque.png"), image);
    auto opaque = OIIO::ImageInput::open(dir.file("opaque.png"));
    ASSERT_TRUE(opaque);
    EXPECT_EQ(opaque->spec_dimensions(0).nchannels, 3);
    EXPECT_EQ(readImageFile(dir.file("opaque.png")).image, image);

    image.at(5, 2)[3] = 254; // one pixel short of opaque keeps the channel
    writeImageFile(dir.file("alpha.png"), image);
    auto withAlpha = OIIO::ImageInput::open(dir.file("alpha.png"));
    ASSERT_TRUE(withAlpha);
    EXPECT_EQ(withAlpha->spec_dimensions(0).nchannels, 4);
    EXPECT_EQ(readImageFile(dir.file("alpha.png")).image, image);
}

// Each thread keeps its PNG decoder and encoder from file to file: a file
// still decodes as itself, not as a change to the picture before it of the
// same size, and the bytes written for an image do not depend on what the
// thread wrote before (a new thread starts with neither).
TEST(ImageFiles, PngFilesAreCodedEachOnItsOwn) {
    TempDir dir;
    const auto opaque = [](RgbaImage image) {
        for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
        return image;
    };
    struct Case {
        RgbaImage image;
        int level;
    };
    const std::vector<Case> cases = {
        {opaque(patternImage(17, 9, 1)), 3}, {opaque(patternImage(17, 9, 2)), 3}, {patternImage(17, 9, 3), 3},
        {patternImage(17, 9, 4), 3},         {opaque(patternImage(5, 30, 5)), 3}, {opaque(patternImage(17, 9, 6)), 6},
        {opaque(patternImage(17, 9, 1)), 3}};
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string name = std::to_string(i) + ".png";
        std::thread([&] { writeImageFile(dir.file("alone" + name), cases[i].image, "uint8", nullptr, cases[i].level); })
            .join();
        writeImageFile(dir.file("in-turn" + name), cases[i].image, "uint8", nullptr, cases[i].level);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string name = std::to_string(i) + ".png";
        EXPECT_EQ(dir.read("in-turn" + name), dir.read("alone" + name)) << name;
        EXPECT_EQ(readImageFile(dir.file("in-turn" + name)).image, cases[i].image) << name;
    }
}

namespace {

// A PNG's samples as libpng decodes them, untransformed (16-bit ones
// big-endian), and its bit depth and channel count; empty on failure.
struct PngSamples {
    int depth = 0, channels = 0;
    std::string bytes;
};

PngSamples libpngSamples(const std::string &path) {
    PngSamples samples;
    FILE *file = std::fopen(path.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (file == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (file != nullptr) std::fclose(file);
        return {};
    }
    png_init_io(png, file);
    png_read_info(png, info);
    samples.depth = png_get_bit_depth(png, info);
    samples.channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info), height = png_get_image_height(png, info);
    samples.bytes.assign(rowBytes * height, '\0');
    std::vector<png_bytep> rows(height);
    for (size_t y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(samples.bytes.data() + y * rowBytes);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return samples;
}

// The prediction filter type of every row of a PNG of rowBytes a row.
std::set<int> filterTypes(const std::string &file, size_t rowBytes, size_t height) {
    std::string compressed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const auto *p = reinterpret_cast<const unsigned char *>(file.data() + at);
        const size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (file.compare(at + 4, 4, "IDAT") == 0) compressed.append(file, at + 8, length);
        at += 12 + length;
    }
    std::string rows((rowBytes + 1) * height, '\0');
    uLongf size = rows.size();
    EXPECT_EQ(::uncompress(reinterpret_cast<Bytef *>(rows.data()), &size,
                           reinterpret_cast<const Bytef *>(compressed.data()), compressed.size()),
              Z_OK);
    std::set<int> types;
    for (size_t y = 0; y < height; ++y) types.insert(rows[y * (rowBytes + 1)]);
    return types;
}

// Bands of eight rows, as many as share a filter (each chosen on a band's
// second row), of ramps, gradients, repeats and noise, so that every
// prediction filter wins some of them; deep holds the same picture at 16
// bits, each level apart from its neighbours in the low byte, but in the
// bands of noisy gradient and faint noise, whose low bytes repeat the high.
void filterTestPicture(RgbaImage &image, std::vector<float> &deep, bool opaque) {
    uint32_t noise = 7;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < 4; ++c) {
                noise = noise * 1103515245u + 12345u;
                const int band = ((y + 1) / 8) % 8;
                const int shapes[8] = {x * 9 + c * 40,
                                       y * 7 + c * 30,
                                       60 + x * 2 + y + int(noise >> 26),
                                       (x + y) * 5,
                                       int(noise >> 24),
                                       (x * x + y * y) / 4,
                                       100 + int(noise >> 28),
                                       (x * x) / 16 + y * 3 + int(noise >> 30)};
                int value = shapes[band] + (y % 3 == 2 ? int(noise >> 29) : 0);
                if (c == 3 && opaque) value = 255;
                image.at(x, y)[c] = static_cast<uint8_t>(value);
                const int low = c == 3 && opaque ? 255 : band == 2 || band == 6 ? image.at(x, y)[c] : int(noise >> 24);
                deep[(size_t(y) * image.width + x) * 4 + c] = float(image.at(x, y)[c] * 256 + low) / 65535.0f;
            }
}

} // namespace

// Every PNG decodes, by libpng and by ffmpeg's decoder, to the samples the
// image library's PNG writer gives the same frame: 8 and 16 bits, RGB and
// RGBA, from 8-bit frames and from full-precision ones, where every
// prediction filter takes part.
TEST(PngFiles, DecodeToTheImageLibrarysSamples) {
    const bool haveFfmpeg = std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
    TempDir dir;
    RgbaImage image(61, 70);
    std::vector<float> deep(image.pixels.size());
    struct Case {
        const char *name;
        std::string sampleType;
        bool fromDeep, opaque;
    };
    for (const Case &test :
         {Case{"rgb8", "uint8", false, true}, Case{"rgba8", "uint8", false, false}, Case{"rgb16", "uint16", true, true},
          Case{"rgba16", "uint16", true, false}, Case{"rgba16-from8", "uint16", false, false},
          Case{"rgba8-from-half", "half", true, false}}) {
        SCOPED_TRACE(test.name);
        filterTestPicture(image, deep, test.opaque);
        const std::vector<float> *given = test.fromDeep ? &deep : nullptr;
        if (test.name == std::string("rgba16")) { // values outside 0..1 are clamped
            deep[3] = -0.5f;
            deep[7] = 1.5f;
        }
        const std::string ours = dir.file(std::string(test.name) + ".png");
        writeImageFile(ours, image, test.sampleType, given);

        // The reference: the image library's PNG writer, which wrote such files before.
        const int depth = test.sampleType == "uint16" ? 16 : 8, channels = test.opaque ? 3 : 4;
        OIIO::ImageSpec header(image.width, image.height, channels,
                               depth == 16 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8);
        header.attribute("oiio:UnassociatedAlpha", 1);
        const std::string reference = dir.file(std::string(test.name) + "-reference.png");
        auto output = OIIO::ImageOutput::create(reference);
        ASSERT_TRUE(output && output->open(reference, header));
        ASSERT_TRUE(given ? output->write_image(OIIO::TypeDesc::FLOAT, deep.data(), 4 * sizeof(float))
                          : output->write_image(OIIO::TypeDesc::UINT8, image.pixels.data(), 4));
        ASSERT_TRUE(output->close());

        const PngSamples expected = libpngSamples(reference), got = libpngSamples(ours);
        ASSERT_FALSE(expected.bytes.empty());
        EXPECT_EQ(got.depth, depth);
        EXPECT_EQ(got.channels, channels);
        EXPECT_TRUE(got.bytes == expected.bytes);
        const size_t rowBytes = size_t(image.width) * channels * depth / 8;
        EXPECT_EQ(filterTypes(dir.read(std::string(test.name) + ".png"), rowBytes, image.height).size(), 5u);
        if (!haveFfmpeg) continue;
        const char *format = depth == 8 ? (channels == 3 ? "rgb24" : "rgba") : (channels == 3 ? "rgb48be" : "rgba64be");
        const CommandResult decoded = runCommand(
            "ffmpeg -v error -i " + quoted(ours) + " -f rawvideo -pix_fmt " + format + " -", dir.path());
        EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
        EXPECT_TRUE(decoded.out == expected.bytes);
    }
}

TEST(ImageFiles, UnreadableFilesAreNamed) {
    TempDir dir;
    dir.write("bad.png", "\x89PNG\r\n\x1a\n not really");
    EXPECT_TRUE(contains(errorOf([&] { readImageFile(dir.file("bad.png")); }), dir.file("bad.png")));
    EXPECT_TRUE(contains(errorOf([&] { readImageFile(dir.file("none.png")); }), dir.file("none.png")));
    EXPECT_TRUE(
        contains(errorOf([&] { writeImageFile(dir.file("a.unknownformat"), RgbaImage(1, 1)); }), "a.unknownformat"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.png"})); // no temporary file left
}

TEST(SequenceSource, EveryFrameMustHaveTheFirstFramesSize) {
    TempDir dir;
    const FramePattern pattern(dir.file("####.png"));
    writeImageFile(pattern.pathOf(1), patternImage(4, 3, 1));
    writeImageFile(pattern.pathOf(2), patternImage(4, 3, 2));
    writeImageFile(pattern.pathOf(3), patternImage(3, 4, 3));
    SequenceSource source(pattern, {1, 2, 3});
    Frame frame;
    ASSERT_TRUE(source.next(frame));
    EXPECT_EQ(frame.number, 1);
    EXPECT_EQ(frame.image, patternImage(4, 3, 1));
    ASSERT_TRUE(source.next(frame));
    const std::string error = errorOf([&] { source.next(frame); });
    EXPECT_TRUE(contains(error, pattern.pathOf(3)));
    EXPECT_TRUE(contains(error, "frame 3 is 3x4, but the first frame is 4x3")) << error;
}

namespace {
// A pipe holding the bytes, closed for writing.
int pipeWith(const std::string &bytes) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fds[1]);
    return fds[0];
}
} // namespace

TEST(RawStreams, WholeFramesThenEndOrAnError) {
    const RgbaImage a = patternImage(3, 2, 1), b = patternImage(3, 2, 2);
    const std::string whole(a.pixels.begin(), a.pixels.end());
    const int fd = pipeWith(whole + std::string(b.pixels.begin(), b.pixels.end()) + whole.substr(0, 10));
    StreamSource source(fd, "standard input", 3, 2, 40);
    Frame frame;
    ASSERT_TRUE(source.next(frame));
    EXPECT_EQ(frame.number, 40);
    EXPECT_EQ(frame.image, a);
    ASSERT_TRUE(source.next(frame));
    EXPECT_EQ(frame.number, 41);
    EXPECT_EQ(frame.image, b);
    const std::string error = errorOf([&] { source.next(frame); });
    EXPECT_EQ(error, "standard input: the stream ended inside frame 42 (10 of 24 bytes of a 3x2 RGBA frame)");
    ::close(fd);

    const int empty = pipeWith("");
    StreamSource none(empty, "in", 3, 2, 1);
    EXPECT_FALSE(none.next(frame));
    ::close(empty);

    const int limited = pipeWith(whole + whole + whole);
    StreamSource two(limited, "in", 3, 2, 1, 2);
    EXPECT_TRUE(two.next(frame));
    EXPECT_TRUE(two.next(frame));
    EXPECT_FALSE(two.next(frame));
    ::close(limited);
}

TEST(RawStreams, WritingToAClosedPipeIsAnError) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    RawFrameWriter writer(fds[1], "standard output");
    EXPECT_EQ(errorOf([&] { writer.write(RgbaImage(2, 2)); }), "standard output: the reader closed the stream");
    std::signal(SIGPIPE, previous);
    ::close(fds[1]);
}

TEST(RawStreams, FrameSizes) {
    int32_t w = 0, h = 0;
    parseFrameSize("1920x1080", w, h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    parseFrameSize("1X1", w, h);
    EXPECT_EQ(w, 1);
    for (const char *bad :
         {"", "1920", "x1080", "0x10", "10x0", "-1x5", "65536x1", "1920x1080x3", "a x b", "65535x65535"})
        EXPECT_THROW(parseFrameSize(bad, w, h), std::invalid_argument) << bad;
    for (const char *outside : {"65536x1", "100000x100000", "1x0000000000001"})
        EXPECT_TRUE(contains(errorOf([&] { parseFrameSize(outside, w, h); }), "each side must be 1 to 65535")) << outside;
}

namespace {
std::string optionsText(const CodecOptions &options) {
    std::string text;
    for (const auto &[key, value] : options)
        text += key + "=" + value + " ";
    return text;
}
} // namespace

// libx264 gets a lookahead, threads, B-frames and references bounded by the
// frame size, and a visually lossless quality, each unless the user sets
// it (a preset or x264's own parameters set them all).
TEST(EncoderPolicy, DefaultsBoundMemoryAndGiveWayToTheUsersOptions) {
    const struct {
        int64_t width, height;
        CodecOptions given;
        unsigned processors;
        std::string options;
    } cases[] = {
        {1920, 1080, {}, 16, "crf=18 threads=8 rc-lookahead=10 "},
        {2560, 1440, {}, 2, "crf=18 threads=2 rc-lookahead=10 "},
        {2561, 1440, {}, 16, "crf=18 threads=4 rc-lookahead=5 "},
        {7680, 4320, {}, 16, "crf=18 threads=1 rc-lookahead=0 bf=0 refs=1 "},
        {7680, 4320, {{"bf", "3"}, {"qp", "20"}}, 16, "bf=3 qp=20 threads=1 rc-lookahead=0 refs=1 "},
        {1920, 1080, {{"preset", "slow"}}, 16, "preset=slow crf=18 "},
        {1920, 1080, {{"x264-params", "ref=2"}, {"b", "4M"}}, 16, "x264-params=ref=2 b=4M "},
    };
    for (const auto &c : cases) {
        const EncoderSetup setup = encoderPolicy({"libx264", c.width, c.height, false, c.given, c.processors});
        EXPECT_EQ(optionsText(setup.options), c.options) << c.width << "x" << c.height;
        EXPECT_EQ(setup.pixelFormat, "yuv420p");
    }
    EXPECT_EQ(optionsText(encoderPolicy({"libvpx-vp9", 64, 48, false, {}, 4}).options), "crf=20 b=0 ");
    EXPECT_EQ(optionsText(encoderPolicy({"ffv1", 64, 48, false, {}, 4}).options), "");
}

// Pixel formats: exact RGB(A) where the codec takes it, 4:2:0 for delivery
// codecs, alpha kept where the codec can; pix_fmt chooses and is no option.
TEST(EncoderPolicy, PixelFormats) {
    const struct {
        const char *codec;
        bool alpha;
        CodecOptions given;
        const char *format;
        bool keepsAlpha;
    } cases[] = {
        {"png", true, {}, "rgba", true},           {"png", false, {}, "rgb24", false},
        {"qtrle", true, {}, "argb", true},         {"libx264", true, {}, "yuv420p", false},
        {"libx264", false, {{"pix_fmt", "yuv444p"}}, "yuv444p", false},
        {"libvpx-vp9", true, {}, "yuva420p", true},
    };
    for (const auto &c : cases) {
        const EncoderSetup setup = encoderPolicy({c.codec, 64, 48, c.alpha, c.given, 1});
        EXPECT_EQ(setup.pixelFormat, c.format) << c.codec;
        EXPECT_EQ(setup.keepsAlpha, c.keepsAlpha) << c.codec;
        EXPECT_FALSE(contains(optionsText(setup.options), "pix_fmt")) << c.codec;
    }
    EXPECT_TRUE(contains(errorOf([] { encoderPolicy({"png", 4, 4, false, {{"pix_fmt", "nonsense"}}, 1}); }),
                         "unknown pixel format nonsense"));
}

TEST(OutputCheck, AnOutputFrameNeverOverwritesAnInputFrame) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("in"));
    const FramePattern input(dir.file("in/####.png"));
    for (int frame : {1, 2})
        dir.write("in/000" + std::to_string(frame) + ".png", "x");
    const std::vector<int32_t> frames{1, 2};
    EXPECT_NO_THROW(checkOutputSparesInput(input, frames, FramePattern(dir.file("out/####.png")), frames));
    EXPECT_NO_THROW(checkOutputSparesInput(input, frames, FramePattern(dir.file("in/####.tif")), frames));
    EXPECT_TRUE(contains(errorOf([&] { checkOutputSparesInput(input, frames, input, frames); }),
                         "would overwrite input frame 1"));
    // The same files spelled otherwise.
    EXPECT_THROW(checkOutputSparesInput(input, frames, FramePattern(dir.file("in/../in/%04d.png")), frames), FileError);
    std::filesystem::create_directory_symlink(dir.file("in"), dir.file("link"));
    EXPECT_THROW(checkOutputSparesInput(input, frames, FramePattern(dir.file("link/####.png")), frames), FileError);
    // A hard link to input frame 2 under an output name.
    std::filesystem::create_directory(dir.file("hard"));
    std::filesystem::create_hard_link(dir.file("in/0002.png"), dir.file("hard/0002.png"));
    EXPECT_TRUE(contains(
        errorOf([&] { checkOutputSparesInput(input, frames, FramePattern(dir.file("hard/####.png")), frames); }),
        "output frame 2 would overwrite input frame 2"));
}

// The rename is atomic only within one file system, so the temporary file
// must sit in the target's own directory, wherever the target is.
TEST(AtomicFiles, TemporaryFileLiesBesideTheTarget) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("deep/er"));
    for (const std::string &target : {dir.file("f.png"), dir.file("deep/er/g")}) {
        AtomicFile file(target);
        const std::filesystem::path temporary(file.temporaryPath());
        EXPECT_EQ(temporary.parent_path(), std::filesystem::path(target).parent_path()) << file.temporaryPath();
        EXPECT_TRUE(std::filesystem::exists(temporary)) << file.temporaryPath();
        EXPECT_NE(temporary, std::filesystem::path(target));
    }
}

TEST(AtomicFiles, ReplaceWholeOrNotAtAll) {
    TempDir dir;
    writeFileAtomically(dir.file("f.txt"), "first");
    writeFileAtomically(dir.file("f.txt"), "second");
    EXPECT_EQ(dir.read("f.txt"), "second");
    {
        AtomicFile abandoned(dir.file("f.txt"));
        std::ofstream(abandoned.temporaryPath()) << "half";
        EXPECT_EQ(abandoned.temporaryPath().substr(abandoned.temporaryPath().size() - 4), ".txt");
    } // never committed
    EXPECT_EQ(dir.read("f.txt"), "second");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"f.txt"}));
}
