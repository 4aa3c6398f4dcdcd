// The frame pass through a host's frame runner: block order, row fetches,
// write-back, progress, the sprocket shift and frames the pass must survive.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "frame_helpers.h"
#include "host/core/item_info.h"
#include "process/frame_pass.h"
#include "process/random_generator.h"
#include "reference_filter.h"

namespace {

using namespace testing_frames;
using kivo::host::ItemTable;
using kivo::host::ScopedItemTable;
using Kind = HostCall::Kind;

// The frame pass as the entry calls it, with the host core's item service.
void processWithItems(void *instance, const FrameAccess *access) {
    processFrame(instance, access, ItemTable::service());
}

HostCall fetch(int32_t type, int32_t y) { return {Kind::GetLine, type, y, {}}; }
HostCall colour(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) { return {Kind::SetRGB, x, y, {r, g, b}}; }
HostCall alpha(int32_t x, int32_t y, uint8_t a) { return {Kind::SetAlpha, x, y, {a, 0, 0}}; }
HostCall init(int32_t total) { return {Kind::MonitorInit, total, 0, {}}; }
HostCall step() { return {Kind::MonitorStep, 10, 0, {}}; }
HostCall done() { return {Kind::MonitorDone, 0, 0, {}}; }

// Control item 1 has scale (1, 1, 1): instances that name it fade fully.
class FramePass : public ::testing::Test {
protected:
    void SetUp() override {
        items.setItem({1, "fader", {{0.0, {0, 0, 0}, {1, 1, 1}}}});
        installed = std::make_unique<ScopedItemTable>(items);
        m = defaultInstance();
        m.controlItem = 1;
        seedRandom(1); // as when the module is loaded
    }

    Render run(const RgbaImage &source, int32_t frame, bool record = true) {
        return render(processWithItems, m, source, frame, record);
    }
    // The reference's rendering from the module's current generator state
    // (before run, where the unseeded scratch draws matter).
    RgbaImage expected(const RgbaImage &source, int32_t frame, double fade = 1.0) {
        reference::Generator generator{gRandomState};
        RgbaImage out;
        reference::renderFrame(m, source, frame, fade, generator, out);
        return out;
    }

    ItemTable items;
    std::unique_ptr<ScopedItemTable> installed;
    MixerInstance m{};
};

void appendPixel(std::vector<HostCall> &calls, int32_t x, int32_t y, uint8_t grey, uint8_t a) {
    calls.push_back(colour(x, y, grey, grey, grey));
    calls.push_back(alpha(x, y, a));
}
void appendFetches(std::vector<HostCall> &calls, int32_t y) {
    for (int32_t type = 32; type <= 35; ++type) calls.push_back(fetch(type, y));
}

TEST_F(FramePass, StaticGreysAndCallOrderOnTwoByTwo) {
    const RgbaImage source = flatImage(2, 2, 10, 20, 30, 200);
    std::vector<HostCall> expectedCalls{init(2)};
    const uint8_t greys[4] = {165, 138, 130, 163};
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) {
            appendFetches(expectedCalls, y);
            appendPixel(expectedCalls, x, y, greys[y * 2 + x], 200);
        }
        if (y == 0) expectedCalls.push_back(step());
    }
    expectedCalls.push_back(done());
    EXPECT_EQ(run(source, 0).calls, expectedCalls);

    m.grainWidth = m.grainHeight = 2;
    expectedCalls = {init(2)};
    for (int32_t y = 0; y < 2; ++y) {
        appendFetches(expectedCalls, y);
        for (int32_t x = 0; x < 2; ++x) appendPixel(expectedCalls, x, y, 165, 200);
    }
    expectedCalls.push_back(step());
    expectedCalls.push_back(done());
    EXPECT_EQ(run(source, 0).calls, expectedCalls);
}

TEST_F(FramePass, FirstBlockValuesOfKnownFrames) {
    const RgbaImage grey100 = flatImage(2, 2, 100, 100, 100);
    // Frame 1: grain 197, or 24 as film grain on a black pixel.
    EXPECT_EQ(run(grey100, 1).image.at(0, 0)[0], 197);
    m.effect = EFFECT_FILM;
    EXPECT_EQ(run(flatImage(2, 2, 0, 0, 0), 1).image.at(0, 0)[0], 24);
    // Frame 0: grain 20, dust roll 152 and flicker 19 flash grey 100 to 79.
    m.filmQuality = FILM_OLD_N_DUSTY;
    EXPECT_EQ(run(grey100, 0).image.at(0, 0)[0], 79);
    // Frame 3: flicker 24 adds to every pixel (grain 0..24 plus 24).
    const Render frame3 = run(flatImage(4, 2, 0, 0, 0), 3);
    const Render clean3 = [&] {
        m.filmQuality = FILM_NICE_N_CLEAN;
        return run(flatImage(4, 2, 0, 0, 0), 3);
    }();
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(frame3.image.at(x, 1)[0], clean3.image.at(x, 1)[0] + 24);
}

TEST_F(FramePass, BlocksCutAtTheFrameEdges) {
    m.grainWidth = 4;
    m.grainHeight = 3;
    const RgbaImage source = reference::testPicture(10, 7);
    const Render r = run(source, 1);
    EXPECT_EQ(r.image, expected(source, 1));

    // Block columns at 0, 4 and 8; block rows at 0, 3 and 6 (one row).
    std::vector<int32_t> fetchedRows;
    for (const HostCall &call : r.calls)
        if (call.kind == Kind::GetLine && call.a == RTYPE_RED) fetchedRows.push_back(call.b);
    EXPECT_EQ(fetchedRows, (std::vector<int32_t>{0, 1, 2, 0, 1, 2, 0, 1, 2, 3, 4, 5, 3, 4, 5, 3, 4, 5, 6, 6, 6}));
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const int32_t bx = x / 4 * 4, by = y / 3 * 3;
            EXPECT_EQ(r.image.at(x, y)[0], r.image.at(bx, by)[0]) << x << "," << y;
        }
    // 9 blocks: two draws each after seeding, flicker and jump roll.
    seedRandom(1);
    for (int i = 0; i < 2 + 9 * 2; ++i) nextRandom();
    const uint32_t after = gRandomState;
    seedRandom(12345);
    run(source, 1, false);
    EXPECT_EQ(gRandomState, after);
}

TEST_F(FramePass, ProgressSteps) {
    auto monitorCalls = [&](int32_t width, int32_t height, int32_t grainHeight) {
        m.grainHeight = grainHeight;
        std::vector<HostCall> calls;
        for (const HostCall &call : run(flatImage(width, height, 1, 2, 3), 0).calls)
            if (call.kind != Kind::GetLine && call.kind != Kind::SetRGB && call.kind != Kind::SetAlpha)
                calls.push_back(call);
        return calls;
    };
    auto expectSteps = [](int steps, int32_t total) {
        std::vector<HostCall> calls{init(total)};
        calls.insert(calls.end(), static_cast<size_t>(steps), step());
        calls.push_back(done());
        return calls;
    };
    EXPECT_EQ(monitorCalls(3, 480, 1), expectSteps(48, 480));
    EXPECT_EQ(monitorCalls(3, 480, 3), expectSteps(16, 480));
    EXPECT_EQ(monitorCalls(3, 480, 7), expectSteps(7, 480)); // rows 0, 70, ..., 420
    EXPECT_EQ(monitorCalls(3, 481, 5), expectSteps(49, 481));
    EXPECT_EQ(monitorCalls(3, 0, 1), expectSteps(0, 0));
    // Without columns the block rows are still counted, and nothing is drawn.
    seedRandom(77);
    const std::vector<HostCall> empty = monitorCalls(0, 480, 1);
    EXPECT_EQ(empty, expectSteps(48, 480));
    seedRandom(0);
    nextRandom();
    nextRandom();
    const uint32_t seededOnly = gRandomState;
    EXPECT_EQ((render(processWithItems, m, RgbaImage(0, 5), 0).calls.size()), 3u);
    EXPECT_EQ(gRandomState, seededOnly);

    // A frame without a monitor makes no monitor call.
    std::vector<HostCall> calls;
    kivo::host::FrameOptions options;
    options.withMonitor = false;
    RgbaImage out;
    kivo::test::runRecordedFrame(processWithItems, &m, flatImage(2, 20, 1, 2, 3), out, options, calls);
    EXPECT_EQ(countCalls(calls, Kind::GetLine), 4 * 2 * 20);
    EXPECT_EQ(countCalls(calls, Kind::MonitorInit) + countCalls(calls, Kind::MonitorStep) +
                  countCalls(calls, Kind::MonitorDone),
              0);
}

TEST_F(FramePass, NoFadeKeepsEveryPixelButStillDraws) {
    m.effect = EFFECT_FILM;
    m.filmQuality = FILM_OLD_N_DUSTY;
    m.grainWidth = 640;
    m.grainHeight = 4;
    const RgbaImage source = reference::testPicture(640, 8);
    run(source, 4, false);
    const uint32_t afterFullFade = gRandomState;

    m.controlItem = 0;
    seedRandom(1);
    const Render r = run(source, 4);
    EXPECT_EQ(r.image, source);
    EXPECT_EQ(gRandomState, afterFullFade);
}

TEST_F(FramePass, FadesFarBeyondOne) {
    const RgbaImage source = reference::testPicture(16, 12);
    // Position X -25 over 10, negatives allowed: 2.5, still exact.
    items.setItem({2, "far", {{0.0, {-25, 0, 0}, {1, 1, 1}}}});
    m.controlItem = 2;
    m.fadeChannel = FADE_COORDS;
    m.fadeDivisor = 10;
    m.allowNegatives = 1;
    for (int32_t effect : {0, 1, 2, 3}) {
        m.effect = effect;
        m.mixRed = 300;
        seedRandom(1);
        const RgbaImage want = expected(source, 4, 2.5);
        EXPECT_EQ(run(source, 4).image, want) << effect;
    }
    // Infinite: every channel goes to 0 or 255 unless it already is the target.
    items.setItem({2, "far", {{0.0, {-std::numeric_limits<double>::infinity(), 0, 0}, {1, 1, 1}}}});
    m.effect = EFFECT_NEGATIVE;
    const RgbaImage out = run(source, 4).image;
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t s = source.at(x, y)[c];
                ASSERT_EQ(out.at(x, y)[c], s < 128 ? 255 : 0) << x << "," << y;
            }
    // Not a number: nothing blends.
    items.setItem({2, "far", {{0.0, {std::numeric_limits<double>::quiet_NaN(), 0, 0}, {1, 1, 1}}}});
    EXPECT_EQ(run(source, 4).image, source);
}

TEST_F(FramePass, EffectsOutsideTheRangeAreNegative) {
    m.effect = EFFECT_NEGATIVE;
    const RgbaImage source = reference::testPicture(9, 5);
    const RgbaImage negative = run(source, 2).image;
    for (int32_t effect : {7, -1, 100, 2147483647}) {
        m.effect = effect;
        EXPECT_EQ(run(source, 2).image, negative) << effect;
    }
    EXPECT_EQ(negative.at(3, 3)[1], 255 - source.at(3, 3)[1]);
}

// Output row y shows source row y + 4 (negative look at full fade).
void expectShiftedUp(const RgbaImage &source, const RgbaImage &out) {
    for (int32_t y = 0; y < source.height; ++y)
        for (int32_t x = 0; x < source.width; ++x) {
            const uint8_t *o = out.at(x, y);
            if (y >= source.height - 4) {
                ASSERT_EQ(o[0] | o[1] | o[2] | o[3], 0) << "row " << y << " is written";
                continue;
            }
            const uint8_t *s = source.at(x, y + 4);
            ASSERT_EQ(o[0], 255 - s[0]) << x << "," << y;
            ASSERT_EQ(o[3], s[3]) << x << "," << y;
        }
}

TEST_F(FramePass, SprocketJumpShiftsRowsUpByFour) {
    m.effect = EFFECT_NEGATIVE;
    m.sprocketJump = 1;
    const RgbaImage source = reference::testPicture(5, 480);
    const Render jumped = run(source, 9); // jump roll 12
    expectShiftedUp(source, jumped.image);
    EXPECT_EQ(jumped.report.outOfFrameWrites, 0);
    // Rows 0..3 are written in place first, then overwritten.
    EXPECT_EQ(jumped.calls[1 + 4], colour(0, 0, 255 - source.at(0, 0)[0], 255 - source.at(0, 0)[1],
                                          255 - source.at(0, 0)[2]));

    // Frames 0 and 1 do not jump; nor does frame 9 with the jump off.
    EXPECT_EQ(run(source, 0).image.at(0, 479)[3], source.at(0, 479)[3]);
    EXPECT_EQ(run(source, 1).image.at(0, 479)[3], source.at(0, 479)[3]);
    m.sprocketJump = 0;
    EXPECT_EQ(run(source, 9).image.at(0, 479)[3], source.at(0, 479)[3]);
    // A frame of four rows never jumps.
    m.sprocketJump = 1;
    const RgbaImage four = reference::testPicture(5, 4);
    EXPECT_EQ(run(four, 9).image.at(2, 3)[0], 255 - four.at(2, 3)[0]);
}

TEST_F(FramePass, FilmSprocketJumpBlacksOutTheLastRows) {
    m.effect = EFFECT_FILM;
    m.sprocketJump = 1;
    const RgbaImage source = flatImage(3, 480, 200, 200, 200);
    const Render r = run(source, 9);
    EXPECT_EQ(r.image, expected(source, 9));
    for (int32_t y = 473; y <= 475; ++y) EXPECT_EQ(r.image.at(1, y)[0], 0) << y;
    EXPECT_GT(r.image.at(1, 472)[0], 200);
    EXPECT_EQ(r.image.at(1, 476)[3], 0);
}

TEST_F(FramePass, RowsShiftedAboveTheFrameAreNotWritten) {
    // Grain height 5 with several block columns: the jump starts at row 4 in
    // the first block column, and later columns still visit rows 0..3.
    m.effect = EFFECT_NEGATIVE;
    m.sprocketJump = 1;
    for (int32_t grainHeight : {3, 5, 6, 480}) {
        m.grainWidth = 2;
        m.grainHeight = grainHeight;
        const RgbaImage source = reference::testPicture(7, 40);
        const Render r = run(source, 9);
        EXPECT_EQ(r.report.outOfFrameWrites, 0);
        for (const HostCall &call : r.calls)
            if (call.kind == Kind::SetRGB || call.kind == Kind::SetAlpha) {
                ASSERT_GE(call.b, 0);
            }
        expectShiftedUp(source, r.image);
        EXPECT_EQ(r.image, expected(source, 9));
    }
}

TEST_F(FramePass, GrainSizesBelowOneCountAsOne) {
    m.effect = EFFECT_FILM;
    m.filmQuality = FILM_OLD_N_DUSTY;
    const RgbaImage source = reference::testPicture(12, 6);
    const Render one = run(source, 3);
    for (auto [w, h] : {std::pair{0, 0}, std::pair{-1, 1}, std::pair{1, -7}, std::pair{-2147483647 - 1, 0}}) {
        m.grainWidth = w;
        m.grainHeight = h;
        seedRandom(1);
        const Render r = run(source, 3);
        EXPECT_EQ(r.image, one.image);
        EXPECT_EQ(r.calls, one.calls);
    }
}

TEST_F(FramePass, HugeGrainAndFramesBeyondSixteenBitCounters) {
    m.effect = EFFECT_STATIC;
    for (int32_t grain : {65535, 65536, 2147483647}) {
        m.grainWidth = m.grainHeight = grain;
        const Render r = run(reference::testPicture(6, 4), 0);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(r.image.at(x, y)[0], 165); // one block
    }
    // Wider and taller than the counters: every pixel is written once, in the frame.
    for (auto [width, height, grain] : {std::tuple{70000, 1, 1}, std::tuple{65535, 2, 2}, std::tuple{1, 65537, 3},
                                        std::tuple{65536, 1, 65535}}) {
        m.grainWidth = m.grainHeight = grain;
        const RgbaImage source = flatImage(width, height, 9, 9, 9, 77);
        const Render r = run(source, 0);
        EXPECT_EQ(r.report.outOfFrameWrites, 0);
        EXPECT_EQ(countCalls(r.calls, Kind::SetAlpha), width * height);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) ASSERT_EQ(r.image.at(x, y)[3], 77);
    }
}

TEST_F(FramePass, DrawsContinueAcrossFramesAndInstances) {
    MixerInstance film = defaultInstance();
    film.effect = EFFECT_FILM;
    film.filmQuality = FILM_OLD_N_DUSTY;
    film.controlItem = 1;
    film.grainWidth = 13;
    film.grainHeight = 4;
    MixerInstance grey = defaultInstance();
    grey.controlItem = 1;
    const RgbaImage source = reference::testPicture(200, 24);

    reference::Generator generator; // state 1, like the module after seedRandom(1)
    struct Step {
        MixerInstance *instance;
        int32_t frame;
    };
    std::vector<RgbaImage> outputs;
    for (Step s : {Step{&film, 5}, Step{&grey, 5}, Step{&film, 5}, Step{&film, 6}, Step{&grey, 5}}) {
        RgbaImage want;
        reference::renderFrame(*s.instance, source, s.frame, 1.0, generator, want);
        const Render got = render(processWithItems, *s.instance, source, s.frame, false);
        EXPECT_EQ(got.image, want) << "frame " << s.frame;
        EXPECT_EQ(gRandomState, generator.state);
        outputs.push_back(got.image);
    }
    // Static repeats its frame; the film's scratch lines move with the jitter.
    EXPECT_EQ(outputs[1], outputs[4]);
    EXPECT_NE(outputs[0], outputs[2]);
}

// A host whose row fetch fails for one row.
namespace broken_host {
RgbaImage *gOut;
// Red 50, green 60, blue 70 and alpha 80 everywhere.
const uint8_t gRows[4][4] = {{50, 50, 50, 50}, {60, 60, 60, 60}, {70, 70, 70, 70}, {80, 80, 80, 80}};
const uint8_t *getLine(int32_t type, int32_t y) { return y == 1 ? nullptr : gRows[type - RTYPE_RED]; }
void setRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    ASSERT_TRUE(x >= 0 && x < 4 && y >= 0 && y < 3);
    for (int c = 0; c < 3; ++c) gOut->at(x, y)[c] = rgb[c];
}
void setAlpha(int32_t x, int32_t y, uint8_t a) {
    ASSERT_TRUE(x >= 0 && x < 4 && y >= 0 && y < 3);
    gOut->at(x, y)[3] = a;
}
} // namespace broken_host

TEST_F(FramePass, MissingRowsAndMissingHostPieces) {
    m.effect = EFFECT_NEGATIVE;
    RgbaImage out(4, 3);
    broken_host::gOut = &out;
    FrameAccess access{};
    access.width = 4;
    access.height = 3;
    access.getLine = broken_host::getLine;
    access.setRGB = broken_host::setRGB;
    access.setAlpha = broken_host::setAlpha;
    processFrame(&m, &access, ItemTable::service());
    EXPECT_EQ(out.at(2, 0)[1], 255 - 60);
    EXPECT_EQ(out.at(2, 0)[3], 80);
    EXPECT_EQ(out.at(2, 1)[3], 0); // not supplied, not written
    EXPECT_EQ(out.at(2, 2)[0], 255 - 50);

    // Nothing to write with, or nothing to process: the pass returns.
    access.setRGB = nullptr;
    processFrame(&m, &access, ItemTable::service());
    processFrame(&m, nullptr, ItemTable::service());
    processFrame(nullptr, &access, ItemTable::service());
}

} // namespace

// A host that keeps two copies of the source planes and hands out the other
// copy at every row visit, and can fail to supply one row.
namespace copying_host {
std::vector<uint8_t> gPlanes[2];
int32_t gWidth, gHeight, gMissingRow;
int64_t gFetches;
RgbaImage *gOut;
const uint8_t *getLine(int32_t type, int32_t y) {
    const int copy = static_cast<int>(gFetches++ / 4 % 2);
    if (y == gMissingRow) return nullptr;
    return gPlanes[copy].data() + (static_cast<size_t>(type - RTYPE_RED) * gHeight + y) * gWidth;
}
void setRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    for (int c = 0; c < 3; ++c) gOut->at(x, y)[c] = rgb[c];
}
void setAlpha(int32_t x, int32_t y, uint8_t a) { gOut->at(x, y)[3] = a; }

// Visits alternate between two copies of source, or between source and
// other when it is given.
RgbaImage render(MixerInstance &m, const RgbaImage &source, int32_t frame, int32_t missingRow,
                 const RgbaImage *other = nullptr) {
    gWidth = source.width;
    gHeight = source.height;
    gMissingRow = missingRow;
    gFetches = 0;
    for (int copy = 0; copy < 2; ++copy) {
        const RgbaImage &from = copy == 1 && other != nullptr ? *other : source;
        std::vector<uint8_t> &planes = gPlanes[copy];
        planes.resize(from.pixels.size());
        for (size_t i = 0; i < from.pixels.size(); ++i)
            planes[(i % 4) * (from.pixels.size() / 4) + i / 4] = from.pixels[i];
    }
    RgbaImage out(source.width, source.height);
    gOut = &out;
    FrameAccess access{};
    access.width = source.width;
    access.height = source.height;
    access.frame = frame;
    access.getLine = getLine;
    access.setRGB = setRGB;
    access.setAlpha = setAlpha;
    processFrame(&m, &access, ItemTable::service());
    return out;
}
} // namespace copying_host

// Frames up to 16384 wide are computed a row at a time at the row's first
// visit; wider ones pixel by pixel. Either way a visit that is handed other
// row buffers than the first, and a row the host cannot supply, leave every
// other pixel as the reference has it: for film and for a simple look, in
// blocks of one pixel (the walk of its own) and larger.
TEST_F(FramePass, RowsWhateverRowsTheHostHandsOver) {
    struct Case {
        int32_t effect, grain, width, displacement;
    };
    // An odd grain: the next block's visit of a row gets the other copy.
    for (const Case &c : {Case{EFFECT_FILM, 3, 120, 2}, Case{EFFECT_FILM, 3, 120, 40},
                          Case{EFFECT_FILM, 3, 16400, 3000}, Case{EFFECT_FILM, 1, 120, 3},
                          Case{EFFECT_STATIC, 1, 120, 0}, Case{EFFECT_STATIC, 3, 120, 0},
                          Case{EFFECT_NEGATIVE, 1, 16400, 0}}) {
        m.effect = c.effect;
        m.filmQuality = FILM_OLD_N_DUSTY;
        m.sepia = m.outOfFocus = 1;
        m.grainWidth = m.grainHeight = c.grain;
        m.focalDisplacement = c.displacement;
        // In a wide, low frame the vignette would darken most columns to one grey.
        m.vignette = c.width < 1000;
        const RgbaImage source = reference::testPicture(c.width, 6);
        const uint32_t state = gRandomState;
        const RgbaImage want = expected(source, 9);
        EXPECT_EQ(copying_host::render(m, source, 9, -1), want) << c.effect << " " << c.grain << " " << c.width;

        // A missing row: not written, and the draws of the rest unchanged.
        gRandomState = state;
        const RgbaImage got = copying_host::render(m, source, 9, 3);
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(got.at(x, y)[k], y == 3 ? 0 : want.at(x, y)[k])
                        << c.effect << " " << c.grain << " " << x << " " << y << " " << k;
    }
}

// A simple look's pixel follows from the rows its visit was handed, even
// where they are not the rows of the row's first visit: blocks of one pixel
// visit each pixel once, alternating between two pictures here.
TEST_F(FramePass, SimpleLookPixelsComeFromTheRowsOfTheirVisit) {
    const RgbaImage first = reference::testPicture(33, 4, 7);
    const RgbaImage second = reference::testPicture(33, 4, 8);
    RgbaImage visited = first;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 33; ++x)
            if ((y * 33 + x) % 2 == 1) std::copy_n(second.at(x, y), 4, visited.at(x, y));
    for (int32_t effect : {EFFECT_STATIC, EFFECT_NEGATIVE}) {
        m.effect = effect;
        const uint32_t state = gRandomState;
        const RgbaImage want = expected(visited, 5);
        gRandomState = state;
        EXPECT_EQ(copying_host::render(m, first, 5, -1, &second), want) << effect;
    }
}
