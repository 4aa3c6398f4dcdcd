// Frames run through the loaded module, as a host runs them, against the
// plain reference renderer: whole images, every host call in order, and
// golden checksums of known renders.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frame_helpers.h"
#include "host/core/host_session.h"
#include "reference_filter.h"

namespace {

using namespace testing_frames;
using kivo::host::HostSession;
using kivo::host::ItemKey;
using kivo::host::SceneItem;

constexpr int32_t kFader = 3;

// A freshly loaded module (generator state 1) with one instance, and the
// reference following it frame by frame with its own generator.
class LoadedFilter {
public:
    LoadedFilter() : instance_(host_.createInstance()) {
        // Scale X runs 0 -> 1 over the first second; position Y is -25 throughout.
        host_.items().setItem({kFader, "fader", {{0.0, {0, -25, 0}, {0, 0, 0}}, {1.0, {0, -25, 0}, {1, 1, 1}}}});
    }
    MixerInstance &settings() { return *static_cast<MixerInstance *>(instance_.get()); }
    HostSession &host() { return host_; }

    // Runs a frame through the module and the reference; returns the module's.
    Render frame(const RgbaImage &source, int32_t number, double time, bool compareCalls = true) {
        Render got;
        kivo::host::FrameOptions options;
        options.frame = number;
        options.time = time;
        host_.items().clearCalls();
        got.report = compareCalls ? kivo::test::runRecordedFrame(host_.handler().process, instance_.get(), source,
                                                                 got.image, options, got.calls)
                                  : kivo::host::runFrame(host_.handler().process, instance_.get(), source, got.image,
                                                         options);
        paramCalls_ = host_.items().calls();

        const MixerInstance &m = settings();
        double vector[3] = {0, 0, 0};
        if (m.controlItem != 0) host_.items().param(m.controlItem, m.fadeChannel == 1 ? 8 : 6, time, vector);
        const double fade = reference::fade(m, vector);
        std::vector<HostCall> calls;
        reference::renderFrame(m, source, number, fade, generator_, expected_, compareCalls ? &calls : nullptr);
        EXPECT_EQ(got.image, expected_) << "frame " << number;
        if (compareCalls) {
            EXPECT_TRUE(got.calls == calls) << "host calls differ in frame " << number;
        }
        return got;
    }
    const RgbaImage &expected() const { return expected_; }
    // The module's param calls during the last frame.
    const std::vector<kivo::host::ParamCall> &paramCalls() const { return paramCalls_; }

private:
    HostSession host_{KIVO_MODULE_FILE};
    HostSession::Instance instance_;
    reference::Generator generator_;
    RgbaImage expected_;
    std::vector<kivo::host::ParamCall> paramCalls_;
};

void useFader(MixerInstance &m, int32_t channel = 0, int32_t divisor = 1, int32_t negatives = 0) {
    m.controlItem = kFader;
    m.fadeChannel = channel;
    m.fadeAxis = channel == 1 ? AXIS_Y : AXIS_X;
    m.fadeDivisor = divisor;
    m.allowNegatives = negatives;
}

TEST(LoadedFilter, FirstFrameAfterLoadHasTheLoadStateScratchColumns) {
    for (int32_t number : {0, 12345}) {
        LoadedFilter filter;
        MixerInstance &m = filter.settings();
        useFader(m);
        m.effect = EFFECT_FILM;
        m.filmQuality = FILM_OLD_N_DUSTY;
        m.grainWidth = 640; // one block: every pixel off the scratch lines is alike
        m.grainHeight = 480;
        const Render r = filter.frame(flatImage(640, 480, 90, 90, 90), number, 1.0, false);
        std::set<int32_t> columns;
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                if (r.image.at(x, y)[0] != r.image.at(0, 0)[0]) columns.insert(x);
        // Jitter 10, 9, 12, 12, 9, 15; column 641 is outside the frame.
        EXPECT_EQ(columns, (std::set<int32_t>{116, 123, 129, 335, 492})) << "frame " << number;
    }
}

TEST(LoadedFilter, FadeFollowsTheControlItemAtTheFrameTime) {
    LoadedFilter filter;
    MixerInstance &m = filter.settings();
    m.effect = EFFECT_NEGATIVE;
    const RgbaImage source = reference::testPicture(8, 6);
    filter.frame(source, 0, 0.5, false);
    EXPECT_TRUE(filter.paramCalls().empty()); // no control object: no call

    useFader(m);
    const Render half = filter.frame(source, 1, 0.5, false);
    ASSERT_EQ(filter.paramCalls().size(), 1u);
    EXPECT_EQ(filter.paramCalls()[0].code, 6);
    EXPECT_EQ(filter.paramCalls()[0].time, 0.5);
    EXPECT_EQ(half.image.at(0, 0)[0], 127);

    useFader(m, 1, 10, 1); // position Y -25 / 10 with negatives: 2.5
    filter.frame(source, 2, 0.0, false);
    EXPECT_EQ(filter.paramCalls()[0].code, 8);
    useFader(m, 1, 10, 0);
    const Render none = filter.frame(source, 3, 0.0, false);
    EXPECT_EQ(none.image, source);
}

struct Case {
    const char *name;
    void (*configure)(MixerInstance &);
};

const Case kCases[] = {
    {"static", [](MixerInstance &m) { useFader(m); }},
    {"static grain 3x2", [](MixerInstance &m) { useFader(m), m.grainWidth = 3, m.grainHeight = 2; }},
    {"rgb", [](MixerInstance &m) { useFader(m), m.effect = 1, m.mixRed = 255, m.mixGreen = 128, m.mixBlue = 0; }},
    {"rgb out of range", [](MixerInstance &m) { useFader(m, 1, 10, 1), m.effect = 1, m.mixRed = 300, m.mixBlue = -9; }},
    {"negative", [](MixerInstance &m) { useFader(m), m.effect = 3, m.grainWidth = 2; }},
    {"negative beyond 1", [](MixerInstance &m) { useFader(m, 1, 10, 1), m.effect = 9; }},
    {"film clean", [](MixerInstance &m) { useFader(m), m.effect = 2; }},
    {"film dusty", [](MixerInstance &m) { useFader(m), m.effect = 2, m.filmQuality = 1, m.grainWidth = 5; }},
    {"film white-out", [](MixerInstance &m) { useFader(m), m.effect = 2, m.filmQuality = 1, m.whiteOut = 1; }},
    {"film sepia vignette", [](MixerInstance &m) { useFader(m), m.effect = 2, m.sepia = 1, m.vignette = 1; }},
    {"film smear", [](MixerInstance &m) { useFader(m), m.effect = 2, m.outOfFocus = 1, m.focalDisplacement = 3; }},
    {"film smear d1 grain", [](MixerInstance &m) { useFader(m), m.effect = 2, m.outOfFocus = 1, m.grainHeight = 3, m.grainWidth = 4; }},
    {"film everything", [](MixerInstance &m) {
         useFader(m), m.effect = 2, m.filmQuality = 1, m.sprocketJump = 1, m.whiteOut = 1, m.sepia = 1,
             m.vignette = 1, m.outOfFocus = 1, m.focalDisplacement = 2, m.grainWidth = 3, m.grainHeight = 5;
     }},
    {"film jump grain 5", [](MixerInstance &m) { useFader(m), m.effect = 2, m.sprocketJump = 1, m.grainHeight = 5, m.grainWidth = 7; }},
    {"negative jump", [](MixerInstance &m) { useFader(m), m.effect = 3, m.sprocketJump = 1, m.grainHeight = 3, m.grainWidth = 9; }},
};

// Frames 8..10 (10 jumps) at times across the fade, on a frame taller than wide too.
TEST(LoadedFilter, EveryLookMatchesTheReference) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        LoadedFilter filter;
        c.configure(filter.settings());
        for (auto [width, height] : {std::pair{37, 29}, std::pair{12, 40}})
            for (int32_t number : {8, 9, 10})
                filter.frame(reference::testPicture(width, height, number), number, number * 0.1 - 0.4);
    }
}

// Checksums of known renders, each produced by the reference and the module.
TEST(LoadedFilter, GoldenChecksums) {
    struct Golden {
        const char *name;
        void (*configure)(MixerInstance &);
        uint64_t checksums[3]; // frames 0, 1, 2 after load, at times 1, 0.5, 1
    };
    const Golden goldens[] = {
#include "golden_checksums.inc"
    };
    for (const Golden &g : goldens) {
        SCOPED_TRACE(g.name);
        LoadedFilter filter;
        g.configure(filter.settings());
        const RgbaImage source = reference::testPicture(96, 64);
        const double times[3] = {1.0, 0.5, 1.0};
        for (int32_t number = 0; number < 3; ++number) {
            const Render r = filter.frame(source, number, times[number], false);
            EXPECT_EQ(reference::checksum(r.image), g.checksums[number]) << "frame " << number;
            EXPECT_EQ(reference::checksum(filter.expected()), g.checksums[number]) << "frame " << number;
        }
    }
}

// Rows wide enough for composed smear chains, with grain blocks that visit
// rows in pieces and jumps that shift them.
TEST(LoadedFilter, WideSmearMatchesTheReference) {
    for (int32_t d : {1, 2, 4}) {
        for (auto [gw, gh] : {std::pair{1, 1}, std::pair{3, 5}, std::pair{400, 2}, std::pair{7, 64}}) {
            SCOPED_TRACE(testing::Message() << "d " << d << " grain " << gw << "x" << gh);
            LoadedFilter filter;
            MixerInstance &m = filter.settings();
            useFader(m);
            m.effect = EFFECT_FILM;
            m.filmQuality = FILM_OLD_N_DUSTY;
            m.outOfFocus = m.sprocketJump = 1;
            m.focalDisplacement = d;
            m.grainWidth = gw;
            m.grainHeight = gh;
            for (int32_t number : {8, 9}) filter.frame(reference::testPicture(300, 18, number), number, 1.0, false);
        }
    }
}

TEST(LoadedFilter, LargeFilmFramesMatchTheReference) {
    // Large frames of two shapes, with every option and a long smear.
    for (auto [width, height] : {std::pair{1920, 1080}, std::pair{2100, 2000}}) {
        LoadedFilter filter;
        MixerInstance &m = filter.settings();
        useFader(m);
        m.effect = EFFECT_FILM;
        m.filmQuality = FILM_OLD_N_DUSTY;
        m.sprocketJump = m.whiteOut = m.sepia = m.vignette = m.outOfFocus = 1;
        m.focalDisplacement = 97;
        const Render r = filter.frame(reference::testPicture(width, height), 9, 0.9, false);
        EXPECT_EQ(r.report.outOfFrameWrites, 0);
    }
}

} // namespace
