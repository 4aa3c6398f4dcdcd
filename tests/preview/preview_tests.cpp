// The viewer's parts that need no browser: frames equal to a render's in
// any order of requests, the fade curve against the module's own frames, and
// the module panels driven from other threads as the page drives them.
#include <gtest/gtest.h>

#include <thread>

#include "host/cli/demo_frames.h"
#include "host/cli/filter_chain.h"
#include "host/cli/render_command.h"
#include "host/cli/scene_commands.h"
#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/preview/fade_curve.h"
#include "host/preview/preview_session.h"
#include "host/preview/shown_frame.h"
#include "host/media/png_codec.h"
#include "host/preview/web_panel_driver.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "../cli/temp_dir.h"

using namespace kivo;
using nlohmann::json;

namespace {

constexpr int kFirst = 1, kLast = 12;

// The scene of `vidmixer new` over frames 1..12, with the given settings.
scene::Scene sceneWith(const std::vector<std::string> &settings, int32_t segment = 0) {
    scene::Scene scene = cli::newScene(24, {kFirst, kLast}, KIVO_MODULE_FILE, settings);
    scene.segment = segment;
    return scene;
}

// A small test sequence on disk.
std::string writeSequence(const TempDir &dir) {
    const media::FramePattern pattern(dir.file("in/####.png"));
    std::filesystem::create_directories(dir.file("in"));
    for (int frame = kFirst; frame <= kLast; ++frame)
        media::writeImageFile(pattern.pathOf(frame), cli::demoFrame(frame - kFirst, kLast, 48, 32, frame));
    return pattern.text();
}

std::unique_ptr<preview::PreviewSession> sessionOn(const TempDir &dir, const scene::Scene &scene,
                                                   const std::string &input) {
    return std::make_unique<preview::PreviewSession>(dir.file("scene.json"), KIVO_MODULE_FILE, scene,
                                                     preview::PreviewInput::open(input, scene));
}

// The frames `vidmixer render` writes for the scene, saved beside them.
media::FramePattern renderAll(const TempDir &dir, const scene::Scene &scene, const std::string &input) {
    scene::saveSceneFile(scene, dir.file("scene.json"));
    cli::RenderRequest render;
    render.scenePath = dir.file("scene.json");
    render.input = input;
    render.output = dir.file("out/####.png");
    render.module = KIVO_MODULE_FILE;
    render.quiet = true;
    std::ostringstream messages;
    EXPECT_EQ(cli::runRender(render, messages), 0) << messages.str();
    return media::FramePattern(dir.file("out/####.png"));
}

} // namespace

// Frames asked for in any order, across segments and after a replay that a
// newer request stopped, are those of one uninterrupted render.
TEST(PreviewFrames, AnyOrderGivesTheRendersFrames) {
    TempDir dir;
    const std::string input = writeSequence(dir);
    const scene::Scene scene = sceneWith({"effect=film", "filmQuality=dusty", "sprocketJump=on", "grainWidth=2"}, 5);
    const media::FramePattern rendered = renderAll(dir, scene, input);
    auto session = sessionOn(dir, scene, input);

    int calls = 0;
    preview::FrameEngine::Watch stopAtThird;
    stopAtThird.stopped = [&] { return ++calls == 3; };
    EXPECT_FALSE(session->withFrame(10, stopAtThird, [](const preview::FramePair &) {}));
    for (int32_t frame : {10, 4, 2, 3, 11, 12, 6, 5, 5}) {
        bool shown = false;
        session->withFrame(frame, {}, [&](const preview::FramePair &pair) {
            EXPECT_EQ(pair.result.image, media::readImageFile(rendered.pathOf(frame)).image) << "frame " << frame;
            EXPECT_EQ(pair.source.image, media::readImageFile(media::FramePattern(input).pathOf(frame)).image);
            shown = true;
        });
        EXPECT_TRUE(shown);
    }
    EXPECT_THROW(session->withFrame(kLast + 1, {}, [](const preview::FramePair &) {}), preview::BadRequest);
}

// A history goes on with the scene its first frame was asked with, whatever
// becomes of the caller's scene object between requests.
TEST(PreviewFrames, AHistoryKeepsItsOwnScene) {
    TempDir dir;
    const std::string input = writeSequence(dir);
    const scene::Scene scene = sceneWith({"effect=static"});
    const media::FramePattern rendered = renderAll(dir, scene, input);
    const auto source = preview::PreviewInput::open(input, scene);
    preview::FrameEngine engine(*source, KIVO_MODULE_FILE);
    auto asked = std::make_unique<scene::Scene>(scene);
    ASSERT_NE(engine.frame(*asked, 1, 3, {}), nullptr);
    asked->millisecondNumbers = true; // the request's copy, reused for another scene
    const preview::FramePair *pair = engine.frame(scene, 1, 4, {});
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->result.image, media::readImageFile(rendered.pathOf(4)).image);
}

// The curve drawn is the fade the module gives each frame: on black, the RGB
// look towards grey 100 gives 100 x fade, truncated, beyond 1 too.
// The page shows the frame's own pixels whatever its content: deflated where
// that pays, stored where the frame is noise, with alpha where it has any.
TEST(PreviewFrames, ShownFramesAreLossless) {
    const int32_t width = 640, height = 360;
    host::RgbaImage smooth(width, height), noise(width, height), translucent(width, height);
    uint32_t state = 12345;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t *p = smooth.at(x, y), *n = noise.at(x, y), *t = translucent.at(x, y);
            p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = 90, p[3] = 255;
            for (int c = 0; c < 3; ++c) n[c] = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
            n[3] = 255;
            std::copy(p, p + 4, t);
            t[3] = static_cast<uint8_t>(x + y);
        }
    const size_t rgbBytes = size_t{width} * height * 3;
    for (const host::RgbaImage *image : {&smooth, &noise, &translucent}) {
        const std::string png = preview::shownPngOf(*image);
        ASSERT_TRUE(media::isPlainPng(png));
        host::RgbaImage back;
        media::decodePlainPng("shown", png, back);
        EXPECT_EQ(back, *image);
        if (image == &smooth) {
            EXPECT_LT(png.size(), rgbBytes / 4);
        } else if (image == &noise) {
            EXPECT_GT(png.size(), rgbBytes); // stored, not deflated for nothing
        }
    }
}

TEST(PreviewFade, CurveIsTheModulesFade) {
    scene::Scene scene = sceneWith({"effect=rgb", "mix=100,100,100"});
    scene.items.push_back({2, "Mover", {{1, {-30, 5, 0}, {0, 0.25, 2}}, {12, {30, 0, -3}, {1, -1, 0}}}});
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"controlItem=2", "fadeChannel=coords", "fadeAxis=x", "fadeDivisor=20", "allowNegatives=on"},
        {"controlItem=2", "fadeChannel=coords", "fadeAxis=x", "fadeDivisor=20"},
        {"controlItem=2", "fadeAxis=y", "allowNegatives=on"},
        {"controlItem=2", "fadeAxis=z", "fadeDivisor=3"},
        {"controlItem=0"},
    };
    for (const std::vector<std::string> &pairs : cases) {
        scene::Scene edited = scene;
        cli::changeFilterSettings(edited, 0, pairs, KIVO_MODULE_FILE);
        const auto &record = edited.filters[0].record;
        const std::vector<preview::FadePoint> curve = preview::fadeCurve(
            edited, preview::fadeSettingsOf(host::savedSettings(host::recordBytes(record))), kFirst, kLast);
        ASSERT_EQ(curve.size(), size_t(kLast - kFirst + 1));
        cli::FilterChain chain(edited, KIVO_MODULE_FILE);
        for (const preview::FadePoint &point : curve) {
            media::Frame frame;
            frame.number = point.frame;
            frame.image = host::RgbaImage(2, 2);
            chain.process(frame);
            const int expected = std::min(255, static_cast<int>(100 * point.amount));
            EXPECT_EQ(frame.image.pixels[0], expected)
                << "frame " << point.frame << " of " << ::testing::PrintToString(pairs);
        }
    }
}

TEST(PreviewFade, LongRangesAreSampledToTheirEnds) {
    scene::Scene scene = sceneWith({});
    const auto curve = preview::fadeCurve(scene, {1, 0, 0, 1, 0}, 1, 100000, 100);
    ASSERT_EQ(curve.size(), 100u);
    EXPECT_EQ(curve.front().frame, 1);
    EXPECT_EQ(curve.back().frame, 100000);
}

namespace {

// The page's side of the module panels: actions sent from another thread.
class PanelsTest : public ::testing::Test {
protected:
    PanelsTest() : scene(sceneWith({})), session(sessionOn(dir, scene, "")), panels(*session, hub) {}

    static json set(int panel, int control, json value) {
        return {{"panel", panel}, {"action", "set"}, {"control", control}, {"value", value}};
    }
    static json press(int panel, const char *action) { return {{"panel", panel}, {"action", action}}; }
    std::string record() { return *scene::recordAsText(session->snapshot().scene.filters[0].record); }
    std::string recordSetWrites(const std::vector<std::string> &pairs) {
        scene::Scene edited = scene;
        cli::changeFilterSettings(edited, 0, pairs, KIVO_MODULE_FILE);
        return *scene::recordAsText(edited.filters[0].record);
    }

    TempDir dir;
    scene::Scene scene;
    std::unique_ptr<preview::PreviewSession> session;
    preview::EventHub hub;
    preview::PanelSession panels;
};

} // namespace

TEST_F(PanelsTest, OkWritesWhatSetWrites) {
    json state = panels.open(0);
    ASSERT_EQ(state["panels"].size(), 1u);
    EXPECT_EQ(state["panels"][0]["title"], "Kivo Video Effects Mixer - Shareware v.1.2b");
    EXPECT_EQ(state["panels"][0]["controls"][0]["label"], "Pixel Grain Height :");
    panels.act(set(1, 1, 3));         // grain width
    state = panels.act(set(1, 7, 2)); // B&W Film: its settings panel opens on top
    ASSERT_EQ(state["panels"].size(), 2u);
    EXPECT_EQ(state["panels"][1]["title"], "Set B&W Quality");
    EXPECT_THROW(panels.act(press(1, "ok")), preview::BadRequest); // the main panel waits below
    panels.act(set(2, 0, 1));                                      // Old'n'Dusty
    panels.act(set(2, 3, 1));                                      // sepia
    EXPECT_THROW(panels.act(set(2, 0, 5)), preview::BadRequest);   // no sixth quality
    state = panels.act(press(2, "ok"));
    ASSERT_EQ(state["panels"].size(), 1u);
    state = panels.act(press(1, "ok"));
    EXPECT_FALSE(state["open"]);
    EXPECT_TRUE(state["outcome"]["accepted"]);
    EXPECT_EQ(record(), recordSetWrites({"grainWidth=3", "effect=film", "filmQuality=dusty", "sepia=on"}));
}

TEST_F(PanelsTest, CancelWritesNothingEvenAfterASettingsPanel) {
    const std::string before = record();
    panels.open(0);
    panels.act(set(1, 7, 1)); // RGB
    panels.act(set(2, 0, json::array({10, 20, 30})));
    panels.act(press(2, "ok"));
    const json state = panels.act(press(1, "cancel"));
    EXPECT_FALSE(state["outcome"]["accepted"]);
    EXPECT_EQ(record(), before);
    EXPECT_TRUE(session->snapshot().unsaved.empty());
}

TEST_F(PanelsTest, NoControlObjectGivesTheModulesWarning) {
    panels.open(0);
    panels.act(set(1, 2, 0)); // the fade control object: none
    const json state = panels.act(press(1, "ok"));
    ASSERT_EQ(state["outcome"]["messages"].size(), 1u);
    EXPECT_EQ(state["outcome"]["messages"][0]["kind"], "warning");
    EXPECT_EQ(state["outcome"]["messages"][0]["line1"], "You have not specified a control object.");
    EXPECT_EQ(record(), recordSetWrites({"controlItem=0"}));
}

// A page that goes away leaves the panel open; closing the viewer cancels it.
TEST_F(PanelsTest, CloseCancelsAnOpenPanelFromAnotherThread) {
    panels.open(0);
    panels.act(set(1, 7, 2));
    EXPECT_THROW(panels.open(0), preview::BadRequest);
    std::thread closer([&] { panels.close(); });
    closer.join();
    EXPECT_FALSE(panels.isOpen());
    EXPECT_THROW(panels.act(press(1, "ok")), preview::BadRequest);
}
