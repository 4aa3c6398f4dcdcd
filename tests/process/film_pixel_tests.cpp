// The film look's steps, one pixel at a time.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "frame_helpers.h"
#include "process/cosine.h"
#include "process/frame_tables.h"
#include "process/frame_state.h"
#include "process/film_pixel.h"
#include "process/luminance.h"
#include "process/random_generator.h"
#include "process/vignette_table.h"
#include "reference_filter.h"

namespace {

using Colour = std::array<uint8_t, 3>;

// One row of a film frame; pixels are computed with all options off,
// grain value 0 and fade amount 1 unless a test changes them.
class FilmPixel : public ::testing::Test {
protected:
    void SetUp() override {
        m = testing_frames::defaultInstance();
        m.effect = EFFECT_FILM;
        frame.width = 640;
        frame.height = 480;
        frame.fadeAmount = 1.0;
        setWidth(640);
    }

    void setWidth(int32_t width) {
        frame.width = width;
        red.assign(static_cast<size_t>(width), 0);
        green.assign(static_cast<size_t>(width), 0);
        blue.assign(static_cast<size_t>(width), 0);
    }
    void setGrey(int64_t x, uint8_t level) { setColour(x, {level, level, level}); }
    void setColour(int64_t x, Colour c) {
        red[static_cast<size_t>(x)] = c[0];
        green[static_cast<size_t>(x)] = c[1];
        blue[static_cast<size_t>(x)] = c[2];
    }

    // The colour computed for column x of row y, whose source is c.
    Colour pixel(int64_t x, int64_t y, Colour c, bool jumpFlag = false) {
        setColour(x, c);
        return compute(x, y, jumpFlag);
    }
    Colour grey(int64_t x, uint8_t level) { return pixel(x, 240, {level, level, level}); }
    Colour compute(int64_t x, int64_t y, bool jumpFlag = false) {
        measureFrame(frame);
        frame.jumpFlag = jumpFlag;
        FrameTables &tables = FrameTables::forModule();
        tables.blend.reset(frame.fadeAmount);
        FilmRule rule(m, frame, tables);
        rule.beginBlock(block, x, x + 1);
        rule.beginRow(y, red.data(), green.data(), blue.data());
        Colour out{};
        rule.pixel(x, out.data());
        return out;
    }

    static Colour greyOf(uint8_t level) { return {level, level, level}; }

    MixerInstance m{};
    FrameState frame;
    BlockValues block;
    std::vector<uint8_t> red, green, blue;
};

// Seeds the generator so that the next scratch roll is (or is not) 3.
void seedScratchRoll(bool three) {
    for (uint32_t seed = 0;; ++seed) {
        seedRandom(seed);
        const bool isThree = halveWhileAbove(nextRandom(), 6) == 3;
        if (isThree == three) {
            seedRandom(seed);
            return;
        }
    }
}

TEST(Luminance, TheTwoOrdersDiffer) {
    EXPECT_EQ(pixelLuminance(1, 1, 1), 0);
    EXPECT_EQ(smearLuminance(1, 1, 1), 1);
    EXPECT_EQ(pixelLuminance(2, 2, 2), 1);
    EXPECT_EQ(smearLuminance(2, 2, 2), 2);
    EXPECT_EQ(pixelLuminance(100, 100, 100), 100);
    EXPECT_EQ(smearLuminance(100, 100, 100), 100);
    EXPECT_EQ(pixelLuminance(255, 255, 255), 255);
    EXPECT_EQ(smearLuminance(255, 255, 255), 255);
    EXPECT_EQ(pixelLuminance(255, 0, 0), 76);
    EXPECT_EQ(pixelLuminance(0, 0, 255), 28);
}

// The sums come from tables built at compile time; on every target they must
// equal the products computed at run time, for every colour.
TEST(Luminance, TablesEqualTheFormulaForEveryColour) {
    volatile double weights[3] = {0.3, 0.59, 0.11}; // kept from compile-time folding
    const double redWeight = weights[0], greenWeight = weights[1], blueWeight = weights[2];
    int64_t wrong = 0;
    for (int32_t r = 0; r < 256; ++r)
        for (int32_t g = 0; g < 256; ++g)
            for (int32_t b = 0; b < 256; ++b) {
                const double red = redWeight * r, green = greenWeight * g, blue = blueWeight * b;
                const auto r8 = static_cast<uint8_t>(r), g8 = static_cast<uint8_t>(g), b8 = static_cast<uint8_t>(b);
                wrong += pixelLuminance(r8, g8, b8) != static_cast<int32_t>((red + green) + blue);
                wrong += smearLuminance(r8, g8, b8) != static_cast<int32_t>((blue + red) + green);
            }
    EXPECT_EQ(wrong, 0);
}

FrameState measured(int32_t width) {
    FrameState frame;
    frame.width = width;
    measureFrame(frame);
    return frame;
}

TEST(FilmConstants, ScratchBasesAndSteps) {
    const FrameState c640 = measured(640);
    EXPECT_EQ(std::vector<int64_t>(c640.scratchBase, c640.scratchBase + 6),
              (std::vector<int64_t>{106, 114, 117, 480, 632, 320}));
    EXPECT_EQ(c640.widthSquared, 409600.0);
    const FrameState c102 = measured(102);
    EXPECT_EQ(std::vector<int64_t>(c102.scratchBase, c102.scratchBase + 6),
              (std::vector<int64_t>{17, 25, 28, 75, 94, 51}));
    // Frames with no columns, and the widest ones, compute without overflow.
    EXPECT_EQ(measured(0).vignetteStep, 0.0);
    EXPECT_EQ(measured(-2147483647 - 1).scratchBase[4], -2147483656LL);
    EXPECT_EQ(measured(2147483647).widthSquared, 2147483647.0 * 2147483647.0);
}

// Every amount the vignette blends by in the darkened quadrant of real frame
// sizes, as the frame's constants give it, equals the reference's, computed
// with the module's correctly rounded cosine.
TEST(FilmConstants, VignetteAmountsEqualTheReference) {
    int64_t amounts = 0;
    for (const auto &size : {std::array{640, 480}, std::array{720, 576}, std::array{1920, 1080}}) {
        const FrameState frame = measured(size[0]);
        for (int32_t y = 0; y <= size[1] / 2 && y <= size[0]; ++y)
            for (int32_t x = 0; x <= size[0] / 2; ++x, ++amounts)
                ASSERT_EQ(vignetteAmount(x, y, frame.vignetteStep),
                          reference::vignetteAmount(x, y, size[0], roundedCosine))
                    << x << "," << y << " of " << size[0] << "x" << size[1];
    }
    EXPECT_GT(amounts, 500000);
}

TEST_F(FilmPixel, GreyFromLuminanceAndGrain) {
    EXPECT_EQ(grey(10, 1), greyOf(0));
    EXPECT_EQ(grey(10, 255), greyOf(255));
    EXPECT_EQ(pixel(10, 240, {255, 0, 0}), greyOf(76));
    block.grainValue = 5;
    EXPECT_EQ(grey(10, 255), greyOf(250)); // 260 overflows to 255 - 5
    EXPECT_EQ(grey(10, 100), greyOf(105));
}

TEST_F(FilmPixel, WhiteOutDoubles) {
    m.whiteOut = 1;
    ASSERT_EQ(pixelLuminance(129, 128, 128), 128);
    EXPECT_EQ(pixel(10, 240, {129, 128, 128}), greyOf(255)); // 256
    EXPECT_EQ(grey(10, 100), greyOf(200));
}

TEST_F(FilmPixel, DustFlashAndFlicker) {
    m.filmQuality = FILM_OLD_N_DUSTY;
    block.dustRoll = 152;
    frame.flickerValue = 20; // not divisible by 3: no flicker follows
    EXPECT_EQ(grey(10, 100), greyOf(70));
    // The frame-0 case: grain 20, flicker 19, source 100.
    block.grainValue = 20;
    frame.flickerValue = 19;
    EXPECT_EQ(grey(10, 100), greyOf(79));

    block = BlockValues{};
    frame.flickerValue = 24;
    EXPECT_EQ(grey(10, 100), greyOf(124));
    frame.flickerValue = 0;
    EXPECT_EQ(grey(10, 100), greyOf(100));
    m.whiteOut = 1;
    frame.flickerValue = 24;
    EXPECT_EQ(grey(10, 100), greyOf(176));
    // Black minus 9 wraps to 65527, which overflows to white.
    frame.flickerValue = 9;
    EXPECT_EQ(grey(10, 0), greyOf(255));
    // The same frame in Nice'n'Clean quality has no flicker.
    m.filmQuality = FILM_NICE_N_CLEAN;
    EXPECT_EQ(grey(10, 0), greyOf(0));
}

TEST_F(FilmPixel, ScratchLinesDrawOncePerColumnHit) {
    m.filmQuality = FILM_OLD_N_DUSTY;
    frame.flickerValue = 1;
    frame.scratchJitter[0] = 10; // column 116
    const int64_t column = 116;
    for (auto [level, scratched] : {std::pair{200, 34}, std::pair{0, 14}, std::pair{255, 39}}) {
        seedScratchRoll(false);
        EXPECT_EQ(grey(column, static_cast<uint8_t>(level)), greyOf(static_cast<uint8_t>(scratched)));
    }
    seedScratchRoll(true);
    EXPECT_EQ(grey(column, 200), greyOf(200));

    // Two scratch columns on one x: one draw.
    frame.scratchJitter[0] = 8; // 114
    frame.scratchJitter[1] = 0; // 114
    seedRandom(5);
    nextRandom();
    const uint32_t afterOneDraw = gRandomState;
    seedRandom(5);
    grey(114, 200);
    EXPECT_EQ(gRandomState, afterOneDraw);

    // Off the columns, and in Nice'n'Clean quality, nothing is drawn.
    seedRandom(5);
    grey(115, 200);
    EXPECT_EQ(gRandomState, 5u);
    m.filmQuality = FILM_NICE_N_CLEAN;
    grey(114, 200);
    EXPECT_EQ(gRandomState, 5u);
}

TEST_F(FilmPixel, ScratchDrawsHappenAtFadeZero) {
    m.filmQuality = FILM_OLD_N_DUSTY;
    frame.fadeAmount = 0.0;
    frame.scratchJitter[5] = 3; // column 323
    seedRandom(5);
    EXPECT_EQ(pixel(323, 240, {10, 20, 30}), (Colour{10, 20, 30}));
    EXPECT_NE(gRandomState, 5u);
}

TEST_F(FilmPixel, SprocketBlackoutOnTheLastThreeRows) {
    block.grainValue = 5;
    EXPECT_EQ(pixel(10, 477, greyOf(200), true), greyOf(0));
    EXPECT_EQ(pixel(10, 479, greyOf(200), true), greyOf(0));
    EXPECT_EQ(pixel(10, 476, greyOf(200), true), greyOf(205));
    EXPECT_EQ(pixel(10, 479, greyOf(200), false), greyOf(205));
}

TEST_F(FilmPixel, SmearBlendsSourceSamplesNearestFirst) {
    m.outOfFocus = 1;
    for (int64_t x = 0; x < 640; ++x) setGrey(x, 255);
    // d = 1: x = 2 gets no smear, x = 3 one sample at column 2.
    setGrey(2, 100);
    EXPECT_EQ(grey(2, 200), greyOf(200));
    setGrey(2, 100);
    EXPECT_EQ(grey(3, 200), greyOf(160));

    // d = 10, x = 35: samples at 25, then 15; column 5 is not sampled.
    m.focalDisplacement = 10;
    setGrey(25, 100);
    setGrey(15, 50);
    setGrey(5, 0);
    const int32_t expected = mixChannel(mixChannel(200, 100, 0.4), smearLuminance(50, 50, 50), 0.4);
    EXPECT_EQ(grey(35, 200), greyOf(static_cast<uint8_t>(expected)));
    // Samples use the smear luminance: grey 1 counts as 1.
    setGrey(25, 1);
    setGrey(15, 255);
    EXPECT_EQ(grey(35, 0), greyOf(static_cast<uint8_t>(mixChannel(mixChannel(0, 1, 0.4), 255, 0.4))));
    EXPECT_EQ(grey(20, 200), greyOf(200)); // x <= 2d
}

TEST_F(FilmPixel, SmearWithoutAForwardStepIsSkipped) {
    m.outOfFocus = 1;
    for (int64_t x = 0; x < 640; ++x) setGrey(x, 0);
    for (int32_t d : {0, -1, -5, -2147483647 - 1}) {
        m.focalDisplacement = d;
        EXPECT_EQ(grey(639, 200), greyOf(200)) << d;
        EXPECT_EQ(grey(0, 200), greyOf(200)) << d;
    }
    m.focalDisplacement = 2147483647;
    EXPECT_EQ(grey(639, 200), greyOf(200));
}

TEST_F(FilmPixel, VignetteOn640By480) {
    m.vignette = 1;
    EXPECT_EQ(pixel(320, 240, greyOf(200)), greyOf(200));
    EXPECT_EQ(pixel(480, 240, greyOf(200)), greyOf(146));
    EXPECT_EQ(pixel(320, 0, greyOf(200)), greyOf(86));
    EXPECT_EQ(pixel(0, 240, greyOf(200)), greyOf(16));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{639, 0}, std::pair{0, 479}, std::pair{639, 479}})
        EXPECT_EQ(pixel(x, y, greyOf(200)), greyOf(16)) << x << "," << y;
}

TEST_F(FilmPixel, VignetteSkipsRowsBeyondTheWidth) {
    m.vignette = 1;
    setWidth(100);
    frame.height = 300;
    for (int64_t y : {0, 49, 251, 299})
        for (int64_t x : {0, 50, 99}) EXPECT_EQ(pixel(x, y, greyOf(200)), greyOf(200)) << x << "," << y;
    for (int64_t y : {50, 75, 100, 200, 250})
        for (int64_t x : {0, 50, 99}) EXPECT_EQ(pixel(x, y, greyOf(200)), greyOf(16)) << x << "," << y;
}

// Rows too long to hold (W/2 + 1 codes above 8193) in a frame too large to
// table: each pixel computes its code.
TEST_F(FilmPixel, VignetteOfFramesTooLargeToHoldARow) {
    m.vignette = 1;
    setWidth(20000);
    frame.height = 2000;
    const double step = 3.1416 / 20000;
    VignetteTable &table = FrameTables::forModule().vignette;
    table.prepare(20000, 2000, step);
    ASSERT_EQ(table.row(0), nullptr);
    for (auto [x, y] : {std::pair{10000, 1000}, std::pair{10001, 1000}, std::pair{13000, 200}, std::pair{2500, 1999},
                        std::pair{0, 1000}})
        EXPECT_EQ(pixel(x, y, greyOf(200)),
                  greyOf(static_cast<uint8_t>(mixChannel(200, 16, vignetteAmount(x - 10000, y - 1000, step)))))
            << x << "," << y;
}

TEST_F(FilmPixel, VignetteTableMatchesTheFormula) {
    VignetteTable &table = FrameTables::forModule().vignette;
    const double step = 3.1416 / 101;
    table.prepare(101, 77, step);
    for (int64_t y = -38; y <= 38; ++y)
        for (int64_t x = -50; x <= 50; ++x)
            for (int32_t v = 0; v < 256; ++v)
                ASSERT_EQ(vignetted(static_cast<uint8_t>(v), table.row(y)[x < 0 ? -x : x], x, y, step),
                          mixChannel(v, 16, vignetteAmount(x, y, step)))
                    << x << "," << y << " " << v;
    // Too large for the table: rows are computed as they are asked for.
    const double largeStep = 3.1416 / 6000;
    table.prepare(6000, 6000, largeStep);
    for (int64_t y : {0, 1500, -1500, 2999, 1500})
        for (int64_t x = 0; x <= 3000; x += 7) ASSERT_EQ(table.row(y)[x], vignetteCode(x, y, largeStep)) << x << "," << y;
    EXPECT_EQ(vignetteAmount(0, 0, step), 0.0);
}

TEST_F(FilmPixel, SepiaTargets) {
    m.sepia = 1;
    EXPECT_EQ(grey(10, 0), (Colour{60, 30, 0}));
    ASSERT_EQ(pixelLuminance(21, 21, 21), 20);
    EXPECT_EQ(grey(10, 21), (Colour{80, 50, 0}));
    EXPECT_EQ(grey(10, 22), (Colour{82, 52, 2}));
    EXPECT_EQ(grey(10, 195), (Colour{255, 225, 175}));
    EXPECT_EQ(grey(10, 255), (Colour{255, 255, 235}));
}

TEST_F(FilmPixel, BlendWithTheRenderedColour) {
    m.sepia = 1;
    frame.fadeAmount = 0.0;
    EXPECT_EQ(pixel(10, 240, {1, 2, 3}), (Colour{1, 2, 3}));
    frame.fadeAmount = 0.5;
    const Colour source{10, 200, 90};
    const int32_t v = pixelLuminance(10, 200, 90);
    EXPECT_EQ(pixel(10, 240, source),
              (Colour{static_cast<uint8_t>(mixChannel(10, v + 60, 0.5)),
                      static_cast<uint8_t>(mixChannel(200, v + 30, 0.5)),
                      static_cast<uint8_t>(mixChannel(90, v - 20, 0.5))}));
}

} // namespace
