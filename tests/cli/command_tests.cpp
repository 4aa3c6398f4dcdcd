// vidmixer new, info and demo, run as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/cli/instance_settings.h"
#include "host/core/host_session.h"
#include "host/media/frame_pattern.h"
#include "host/media/image_file.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"

using namespace kivo;

namespace {

CommandResult vidmixer(const TempDir &dir, const std::string &arguments) {
    return runCommand(quoted(KIVO_VIDMIXER) + " " + arguments, dir.path());
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(NewCommand, DefaultsWithAFadeControlKeyedOverTheRange) {
    TempDir dir;
    const std::string path = dir.file("s.json");
    CommandResult result = vidmixer(dir, "new " + quoted(path) + " --fps 25 --frames 5-15");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const scene::Scene s = scene::loadSceneFile(path);
    EXPECT_EQ(s.fps, 25);
    EXPECT_EQ(s.firstFrame, 5);
    EXPECT_EQ(s.lastFrame, 15);
    ASSERT_EQ(s.items.size(), 1u);
    EXPECT_EQ(s.items[0].keys, (std::vector<scene::Key>{{5, {0, 0, 0}, {0, 0, 0}}, {15, {0, 0, 0}, {1, 1, 1}}}));
    ASSERT_EQ(s.filters.size(), 1u);
    EXPECT_EQ(s.filters[0].server, "Kivo_VidMixer");
    // The module's defaults, with the new item as the fade control object.
    EXPECT_EQ(scene::recordAsText(s.filters[0].record), "1 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1");

    const std::string before = dir.read("s.json");
    result = vidmixer(dir, "new " + quoted(path));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "already exists")) << result.err;
    EXPECT_EQ(dir.read("s.json"), before);
    EXPECT_EQ(vidmixer(dir, "new " + quoted(path) + " --force --frames 1-1").exitCode, 0);
    EXPECT_EQ(scene::loadSceneFile(path).items[0].keys.size(), 1u);
    EXPECT_EQ(vidmixer(dir, "new " + quoted(path) + " --force --fps 0").exitCode, 1);
    EXPECT_EQ(vidmixer(dir, "new " + quoted(path) + " --force --frames 9-3").exitCode, 1);
}

TEST(InfoCommand, DescriptionSettingsItemsAndKeys) {
    TempDir dir;
    scene::Scene s;
    s.items.push_back({7, "Mover", {{1, {0.5, 0, 0}, {1, 1, 1}}}});
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("7 1 1 1 2 10 1 2 1 2 3 1 0 1 0 0 0 4")});
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("99 1 1 0 0 1 0 77")});
    // A leading zero makes an octal number: the module reads 0 for the divisor.
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText("7 1 1 0 0 09 0 0 255 255 255 0 0 0 0 0 0 1")});
    scene::saveSceneFile(s, dir.file("s.json"));
    const CommandResult result = vidmixer(dir, "info " + quoted(dir.file("s.json")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char *line :
         {"frames 1 to 24 at 24 fps", "7 \"Mover\"", "frame 1: position (0.5, 0, 0), scale (1, 1, 1)",
          "1. Kivo_VidMixer: Kivo Video Mixer (FX:B&W FILM)", "controlItem                 7  \"Mover\"",
          "fadeChannel                 1  Co-ords", "fadeAxis                    2  Z",
          "filmQuality                 1  Old'n'Dusty", "whiteOut                    1  on",
          "focalDisplacement           4", "2. Kivo_VidMixer: Kivo Video Mixer (FX:NEGATIVE)",
          "controlItem                99  not in the scene", "effect                     77  Negative",
          "filter 3 (Kivo_VidMixer): its settings record \"7 1 1 0 0 09 0 0 255 255 255 0 0 0 0 0 0 1\" is not 18 "
          "numbers as the module writes them; the module uses",
          "fadeDivisor                 0"})
        EXPECT_TRUE(contains(result.out, line)) << line << "\n" << result.out;
}

// Every kind of setting by name, in any case; the record is what the module
// writes, and what info prints is what set takes: feeding it back changes nothing.
TEST(SetCommand, EveryKindRoundTripsThroughInfo) {
    TempDir dir;
    const std::string path = quoted(dir.file("s.json"));
    ASSERT_EQ(vidmixer(dir, "new " + path + " effect=rgb").exitCode, 0);
    CommandResult result = vidmixer(
        dir, "set " + path + " EFFECT=Film filmquality=dusty sepia=on mix=10,20,30 grainWidth=3 fadeAxis=Z controlItem=0");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(scene::recordAsText(scene::loadSceneFile(dir.file("s.json")).filters[0].record),
              "0 3 1 0 2 1 0 2 10 20 30 1 0 0 1 0 0 1");

    result = vidmixer(dir, "info " + path);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string pairs;
    for (const char *line : {"effect=film", "filmQuality=dusty", "sepia=on", "whiteOut=off", "mixGreen=20",
                             "grainWidth=3", "fadeAxis=z", "controlItem=0", "fadeDivisor=1"}) {
        EXPECT_TRUE(contains(result.out, line)) << line << "\n" << result.out;
        pairs += std::string(" ") + line;
    }
    const std::string before = dir.read("s.json");
    ASSERT_EQ(vidmixer(dir, "set " + path + pairs).exitCode, 0);
    EXPECT_EQ(dir.read("s.json"), before);
}

// Every word that info shows for a value, and the pair it prints, give that
// value back through set, for every setting of the table.
TEST(SetCommand, TakesEveryWordInfoShows) {
    scene::Scene s;
    s.items.push_back({7, "Mover", {}});
    host::HostSession session(KIVO_MODULE_FILE);
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        std::vector<int32_t> values = {facts.minimum, facts.defaultValue, facts.maximum};
        if (facts.kind == SettingKind::SceneItem) values = {0, 7};
        if (facts.valueNames != nullptr) values.clear();
        for (int32_t value = 0; value < valueNameCount(facts); ++value) values.push_back(value);
        for (const int32_t value : values) {
            const host::HostSession::Instance instance = session.createInstance();
            cli::applySettings(session, instance.get(), {{&facts, value}});
            const cli::SettingView view = cli::instanceSettings(session, instance.get(), s)[i];
            ASSERT_EQ(view.value, value) << facts.name;
            ASSERT_FALSE(view.assignment.empty()) << facts.name << " " << value;
            std::vector<std::string> words = {view.assignment.substr(view.assignment.find('=') + 1)};
            if (!view.meaning.empty()) words.push_back(view.meaning);
            for (const std::string &word : words) {
                const std::vector<cli::SettingChange> changes =
                    cli::parseSettingPair(std::string(facts.name) + "=" + word, &s);
                ASSERT_EQ(changes.size(), 1u);
                EXPECT_EQ(changes[0].value, value) << facts.name << "=" << word;
            }
        }
    }
}

// Settings whose text would not fit the 128-byte record whole are refused,
// and the scene keeps its record: the module would cut the text mid-number.
TEST(SetCommand, SettingsTooLongForTheRecordLeaveTheSceneUntouched) {
    TempDir dir;
    std::string text = "-2147483648 1";
    for (int position = 3; position <= 18; ++position) text += position <= 10 ? " -2147483648" : " 0";
    ASSERT_EQ(text.size(), 125u);
    scene::Scene s;
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText(text)});
    scene::saveSceneFile(s, dir.file("s.json"));
    const std::string before = dir.read("s.json");
    const CommandResult result = vidmixer(dir, "set " + quoted(dir.file("s.json")) + " grainWidth=2147483647");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "the settings take 134 characters")) << result.err;
    EXPECT_EQ(dir.read("s.json"), before);
}

// Bad input: usage status, one line naming the pair and what is accepted, and
// the scene byte for byte as it was.
TEST(SetCommand, BadInputLeavesTheSceneUntouched) {
    TempDir dir;
    const std::string path = quoted(dir.file("s.json"));
    ASSERT_EQ(vidmixer(dir, "new " + path).exitCode, 0);
    const std::string before = dir.read("s.json");
    const std::pair<const char *, const char *> cases[] = {
        {"colour=3", "grainWidth, grainHeight"},     {"effect=sepia", "static, rgb, film, negative"},
        {"grainWidth=0", "1 to 2147483647"},         {"mixRed=256", "0 to 255"},
        {"fadeDivisor=ten", "not a number"},         {"grainWidth=99999999999", "1 to 2147483647"},
        {"sepia", "expected NAME=VALUE"},            {"=on", "expected NAME=VALUE"},
        {"mix=1,2", "mix=R,G,B"},                    {"controlItem=9", "1 (\"Fade Control\")"},
    };
    for (const auto &[pair, accepted] : cases) {
        const CommandResult result = vidmixer(dir, "set " + path + " effect=film " + pair);
        EXPECT_EQ(result.exitCode, 2) << pair;
        EXPECT_TRUE(contains(result.err, std::string(pair) + ": ")) << pair << ": " << result.err;
        EXPECT_TRUE(contains(result.err, accepted)) << pair << ": " << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(dir.read("s.json"), before) << pair;
    }
    const CommandResult noFilter = vidmixer(dir, "set " + path + " --filter 2 sepia=on");
    EXPECT_EQ(noFilter.exitCode, 2);
    EXPECT_TRUE(contains(noFilter.err, "--filter 2")) << noFilter.err;
    EXPECT_EQ(dir.read("s.json"), before);
    EXPECT_EQ(vidmixer(dir, "new " + quoted(dir.file("t.json")) + " grainWidth=-1").exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("t.json")));
}

TEST(DemoCommand, FourLooksFadingInAndAContactSheet) {
    TempDir dir;
    const CommandResult result = vidmixer(dir, "demo --out " + quoted(dir.file("demo")));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string sheet = dir.file("demo/contact-sheet.png");
    EXPECT_TRUE(contains(result.out, "contact sheet:  " + sheet)) << result.out;

    const media::FramePattern input(dir.file("demo/input/####.png"));
    EXPECT_EQ(input.discover().size(), 25u);
    for (const char *look : {"static", "rgb", "bw-film", "negative"}) {
        EXPECT_TRUE(contains(result.out, dir.file(std::string("demo/") + look + "/####.png"))) << look;
        EXPECT_EQ(media::FramePattern(dir.file(std::string("demo/") + look + "/####.png")).discover().size(), 25u);
        EXPECT_NO_THROW(scene::loadSceneFile(dir.file(std::string("demo/scenes/") + look + ".json")));
    }
    // Fade 0 leaves the picture as it was; fade 1 gives the full look.
    const host::RgbaImage first = media::readImageFile(input.pathOf(1)).image;
    EXPECT_EQ(media::readImageFile(dir.file("demo/negative/0001.png")).image, first);
    const host::RgbaImage last = media::readImageFile(input.pathOf(25)).image;
    const host::RgbaImage negative = media::readImageFile(dir.file("demo/negative/0025.png")).image;
    ASSERT_EQ(negative.pixels.size(), last.pixels.size());
    for (size_t i = 0; i < last.pixels.size(); ++i)
        ASSERT_EQ(negative.pixels[i], i % 4 == 3 ? last.pixels[i] : 255 - last.pixels[i]) << "byte " << i;

    const host::RgbaImage contact = media::readImageFile(sheet).image;
    EXPECT_GT(contact.width, 5 * 320);
    EXPECT_GT(contact.height, 4 * 240);
}
