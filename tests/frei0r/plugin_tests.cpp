// The frei0r plug-in against the module it hosts: its parameters against
// the settings table, chained instances against a vidmixer scene, bad
// values, and a module that cannot be loaded. What every frei0r host relies
// on is checked by conformance_tests.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "host/cli/filter_chain.h"
#include "instance/setting_facts.h"
#include "tests/frei0r/plugin_fixture.h"

namespace kivo::test {
namespace {

const SettingFacts &tableSetting(const std::string &name) {
    for (int i = 0; i < kSettingCount; ++i)
        if (name == settingFacts(i).name) return settingFacts(i);
    throw std::runtime_error("no setting " + name);
}

TEST(Frei0rPlugin, ParametersFollowTheSettingsTable) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    const f0r_plugin_info_t info = plugin.info();

    // The fixed head, then every user-facing setting under its table name.
    const std::vector<std::pair<std::string, int>> expected = {
        {"look", F0R_PARAM_STRING},         {"fade", F0R_PARAM_DOUBLE},        {"fps", F0R_PARAM_DOUBLE},
        {"time unit", F0R_PARAM_DOUBLE},    {"grainWidth", F0R_PARAM_DOUBLE},  {"grainHeight", F0R_PARAM_DOUBLE},
        {"mix", F0R_PARAM_COLOR},           {"filmQuality", F0R_PARAM_BOOL},   {"sprocketJump", F0R_PARAM_BOOL},
        {"whiteOut", F0R_PARAM_BOOL},       {"sepia", F0R_PARAM_BOOL},         {"vignette", F0R_PARAM_BOOL},
        {"outOfFocus", F0R_PARAM_BOOL},     {"focalDisplacement", F0R_PARAM_DOUBLE},
        {"look number", F0R_PARAM_DOUBLE}};
    ASSERT_EQ(info.num_params, static_cast<int>(expected.size()));
    f0r_param_info_t lookInfo{};
    plugin.getParamInfo(&lookInfo, 0);
    EXPECT_STREQ(lookInfo.explanation, tableSetting("effect").description);
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        plugin.getParamInfo(&param, i);
        EXPECT_EQ(param.name, expected[i].first);
        EXPECT_EQ(param.type, expected[i].second) << param.name;
        if (i >= 4 && i < 14) {
            const SettingGroup *group = findSettingGroup(param.name);
            EXPECT_STREQ(param.explanation, group ? group->description : tableSetting(param.name).description);
        }
    }

    // A new instance shows the module's defaults, read back from the module.
    f0r_instance_t instance = plugin.construct(8, 8);
    ASSERT_NE(instance, nullptr);
    const char *look = nullptr;
    plugin.getParam(instance, &look, plugin.paramIndex("look"));
    EXPECT_STREQ(look, "static");
    double value = -1;
    plugin.getParam(instance, &value, plugin.paramIndex("fade"));
    EXPECT_EQ(value, 1.0);
    plugin.getParam(instance, &value, plugin.paramIndex("fps"));
    EXPECT_EQ(value, 0.0);
    for (const char *name : {"grainWidth", "grainHeight", "focalDisplacement"}) {
        plugin.getParam(instance, &value, plugin.paramIndex(name));
        EXPECT_EQ(value, 1.0 / 64) << name; // the default 1 pixel
        EXPECT_EQ(tableSetting(name).defaultValue, 1);
    }
    for (const char *name : {"filmQuality", "sprocketJump", "whiteOut", "sepia", "vignette", "outOfFocus"}) {
        plugin.getParam(instance, &value, plugin.paramIndex(name));
        EXPECT_EQ(value, tableSetting(name).defaultValue) << name;
    }
    f0r_param_color_t colour{};
    plugin.getParam(instance, &colour, plugin.paramIndex("mix"));
    EXPECT_EQ(colour.r, 1.0f);
    plugin.destruct(instance);
}

// Two instances in one frei0r graph run one after the other on each frame,
// as two filters of one scene numbered by time do in vidmixer, frames in any
// order: each frame stands alone, whatever ran before it.
TEST(Frei0rPlugin, TwoInstancesMatchTwoFiltersOfAScene) {
    PluginCopy copy(true);      // a plug-in and module that nothing ran before
    PluginCopy reference(true); // the module vidmixer's chain loads
    Frei0rPlugin plugin(copy.plugin.string());
    const unsigned width = 48, height = 32;
    f0r_instance_t first = plugin.construct(width, height);
    f0r_instance_t second = plugin.construct(width, height);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    plugin.setText(first, "look", "static");
    plugin.set(first, "fade", 0.75);
    plugin.set(first, "grainWidth", 4.0 / 64); // 4 pixels
    plugin.setText(second, "look", "film");
    plugin.set(second, "fade", 0.5);
    plugin.set(second, "filmQuality", 1.0); // scratches: depend on the generator's history
    plugin.set(second, "sepia", 1.0);
    for (f0r_instance_t instance : {first, second}) plugin.set(instance, "time unit", 0.001);

    scene::Scene scene;
    scene.fps = 24;
    scene.millisecondNumbers = true;
    scene.items = {{1, "first", {{0, {0, 0, 0}, {0.75, 0.75, 0.75}}}}, {2, "second", {{0, {0, 0, 0}, {0.5, 0.5, 0.5}}}}};
    scene.filters = {{kMixerServerName, {}}, {kMixerServerName, {}}};
    const std::string records[2] = {"1 4 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1",
                                     "2 1 1 0 0 1 0 2 255 255 255 1 0 0 1 0 0 1"};
    for (int i = 0; i < 2; ++i) std::copy(records[i].begin(), records[i].end(), scene.filters[i].record.begin());
    cli::FilterChain chain(scene, reference.module.string());

    std::map<int32_t, std::vector<uint32_t>> seen;
    for (const int32_t number : {0, 1, 2, 5, 3, 4, 4}) {
        const std::vector<uint32_t> in = testFrame(width, height, 100 + number);
        std::vector<uint32_t> middle(in.size()), out(in.size());
        const double milliseconds = number * 1000.0 / 24.0;
        plugin.update(first, milliseconds, in.data(), middle.data());
        plugin.update(second, milliseconds, middle.data(), out.data());

        media::Frame frame;
        frame.number = number;
        frame.image = host::RgbaImage(width, height);
        std::memcpy(frame.image.pixels.data(), in.data(), in.size() * 4);
        chain.process(frame);
        ASSERT_EQ(0, std::memcmp(frame.image.pixels.data(), out.data(), in.size() * 4)) << "frame " << number;
        // A frame run again after others is the same frame: the scratches do
        // not follow the frames run before it.
        if (seen.count(number)) {
            EXPECT_EQ(seen[number], out) << "frame " << number << " again";
        }
        seen[number] = out;
    }
    plugin.destruct(first);
    plugin.destruct(second);
}

// Runs a call with standard error captured; returns what it printed.
template <typename F> std::string capturedError(F &&call) {
    std::fflush(stderr);
    char path[] = "/tmp/kivo-frei0r-stderr-XXXXXX";
    const int file = mkstemp(path);
    const int saved = dup(2);
    dup2(file, 2);
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    return text.str();
}

TEST(Frei0rPlugin, UnloadableModuleGivesNoInstanceAndSaysWhy) {
    PluginCopy copy(false); // no module beside the plug-in
    Frei0rPlugin plugin(copy.plugin.string());
    unsetenv("KIVO_VIDMIXER_MODULE");
    f0r_instance_t instance = reinterpret_cast<f0r_instance_t>(1);
    std::string said = capturedError([&] { instance = plugin.construct(16, 16); });
    EXPECT_EQ(instance, nullptr);
    EXPECT_NE(said.find((copy.folder / "kivo_vidmixer.p").string()), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // A file that is no module, named by the environment variable.
    setenv("KIVO_VIDMIXER_MODULE", copy.plugin.c_str(), 1);
    said = capturedError([&] { instance = plugin.construct(16, 16); });
    EXPECT_EQ(instance, nullptr);
    EXPECT_NE(said.find("_mod_descrip"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // The variable naming the real module is enough.
    setenv("KIVO_VIDMIXER_MODULE", KIVO_MODULE_FILE, 1);
    instance = plugin.construct(16, 16);
    unsetenv("KIVO_VIDMIXER_MODULE");
    ASSERT_NE(instance, nullptr);
    plugin.destruct(instance);
}

// Refused values leave the instance as it was and are said once per parameter.
TEST(Frei0rPlugin, BadValuesAreRefusedAndSaidOnce) {
    PluginCopy copy(true); // a fresh plug-in: nothing said yet
    Frei0rPlugin plugin(copy.plugin.string());
    f0r_instance_t instance = plugin.construct(8, 8);
    ASSERT_NE(instance, nullptr);
    plugin.setText(instance, "look", "film");
    plugin.set(instance, "fade", 0.25);
    const std::string said = capturedError([&] {
        plugin.setText(instance, "look", "sparkle");
        plugin.setText(instance, "look", "glitter");
        plugin.set(instance, "fade", std::nan(""));
        plugin.set(instance, "fade", 1.5);
        f0r_param_color_t colour{0.5f, 2.0f, 0.0f};
        plugin.setParam(instance, &colour, plugin.paramIndex("mix"));
        const std::vector<uint32_t> in = testFrame(8, 8, 1);
        std::vector<uint32_t> out(in.size());
        plugin.update(instance, -1.0, in.data(), out.data());
        plugin.update(instance, std::nan(""), in.data(), out.data());
    });
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 4) << said; // look, fade, mix, time
    for (const char *name : {"look: \"sparkle\"", "fade: nan", "mix: ", "time: -1"})
        EXPECT_NE(said.find(name), std::string::npos) << name << " in " << said;
    const char *look = nullptr;
    plugin.getParam(instance, &look, plugin.paramIndex("look"));
    EXPECT_STREQ(look, "film");
    double fade = 0;
    plugin.getParam(instance, &fade, plugin.paramIndex("fade"));
    EXPECT_EQ(fade, 0.25);
    f0r_param_color_t colour{};
    plugin.getParam(instance, &colour, plugin.paramIndex("mix"));
    EXPECT_EQ(colour.g, 1.0f);
    plugin.destruct(instance);
}

// MLT's slice threading: an instance made at a strip's height given the
// strips of one frame, one below the other in one buffer, with one time, in
// any order. The first strip cannot be told from a frame and has the look;
// every strip after it passes through, and the user is told once.
TEST(Frei0rPlugin, StripsOfOneFrameAreToldApartAndPassThrough) {
    PluginCopy copy(true); // a fresh plug-in: nothing said yet
    Frei0rPlugin plugin(copy.plugin.string());
    constexpr unsigned width = 8, height = 4, strips = 4;
    const std::vector<uint32_t> in = testFrame(width, height * strips, 5);
    const auto stripRun = [&](f0r_instance_t instance, unsigned strip, double time) {
        const size_t at = size_t{strip} * width * height;
        std::vector<uint32_t> out(size_t{width} * height);
        plugin.update(instance, time, in.data() + at, out.data());
        return out == std::vector<uint32_t>(in.begin() + at, in.begin() + at + out.size());
    };
    f0r_instance_t whole = plugin.construct(width, height), sliced = plugin.construct(width, height);
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(sliced, nullptr);
    const std::string said = capturedError([&] {
        EXPECT_FALSE(stripRun(sliced, 2, 0.0)); // not yet known as a strip
        for (const unsigned strip : {0u, 3u, 1u}) EXPECT_TRUE(stripRun(sliced, strip, 0.0)) << strip;
        for (const unsigned strip : {1u, 0u, 3u, 2u}) EXPECT_TRUE(stripRun(sliced, strip, 0.04)) << strip;
        // A frame run again at its time, or the next frame in the same
        // buffer, is no strip.
        for (const double time : {0.0, 0.0, 0.04}) EXPECT_FALSE(stripRun(whole, 0, time)) << time;
    });
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("\"threads\""), std::string::npos) << said;
    plugin.destruct(whole);
    plugin.destruct(sliced);
}

} // namespace
} // namespace kivo::test
