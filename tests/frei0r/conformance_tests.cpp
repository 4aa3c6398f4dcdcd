// A frei0r conformance checker: the built plug-in loaded as frei0r hosts load
// it (dlopen and the f0r_* entry points, nothing else), held to frei0r's
// rules and to what editors rely on: complete plug-in and parameter info,
// every parameter read back as it was set, a frame a function of its time
// and parameters whatever ran before it and in whatever order, fade 0 the
// identity, alpha untouched, any frame size, and instances on several
// threads coming and going. Run also under AddressSanitizer, and the
// Frei0rThreads cases under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cfenv>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>
#include <utility>

#include "tests/frei0r/plugin_fixture.h"

namespace kivo::test {
namespace {

constexpr unsigned kWidth = 48, kHeight = 32;
const char *const kLooks[] = {"static", "rgb", "film", "negative"};

// An instance of the plug-in, destroyed with its scope.
class Made {
public:
    Made(const Frei0rPlugin &plugin, unsigned width, unsigned height)
        : plugin_(plugin), width_(width), height_(height), instance_(plugin.construct(width, height)) {
        if (instance_ == nullptr) throw std::runtime_error("f0r_construct gave no instance");
    }
    ~Made() { plugin_.destruct(instance_); }
    Made(const Made &) = delete;
    Made &operator=(const Made &) = delete;
    operator f0r_instance_t() const { return instance_; }

    // One frame through f0r_update. The output starts as `fill` everywhere,
    // so a pixel the plug-in leaves unwritten, or one it reads, shows.
    std::vector<uint32_t> frame(double time, const std::vector<uint32_t> &in, uint32_t fill = 0) const {
        std::vector<uint32_t> out(static_cast<size_t>(width_) * height_, fill);
        plugin_.update(instance_, time, in.data(), out.data());
        return out;
    }

private:
    const Frei0rPlugin &plugin_;
    unsigned width_, height_;
    f0r_instance_t instance_;
};

// The look at a fade, with every switch on (the film options; the other
// looks ignore them).
void configure(const Frei0rPlugin &plugin, f0r_instance_t instance, const char *look, double fade) {
    plugin.setText(instance, "look", look);
    plugin.set(instance, "fade", fade);
    double on = 1.0;
    for (int i = 0; i < plugin.info().num_params; ++i)
        if (plugin.paramInfo(i).type == F0R_PARAM_BOOL) plugin.setParam(instance, &on, i);
}

// Every parameter's value as text, to compare instances and moments.
std::vector<std::string> snapshot(const Frei0rPlugin &plugin, f0r_instance_t instance) {
    std::vector<std::string> values;
    for (int i = 0; i < plugin.info().num_params; ++i) {
        char text[96] = "";
        f0r_param_color_t colour{};
        double number = 0;
        const char *word = nullptr;
        switch (plugin.paramInfo(i).type) {
        case F0R_PARAM_COLOR:
            plugin.getParam(instance, &colour, i);
            std::snprintf(text, sizeof text, "%a %a %a", colour.r, colour.g, colour.b);
            break;
        case F0R_PARAM_STRING:
            plugin.getParam(instance, &word, i);
            std::snprintf(text, sizeof text, "%s", word ? word : "(none)");
            break;
        default: plugin.getParam(instance, &number, i); std::snprintf(text, sizeof text, "%a", number);
        }
        values.emplace_back(text);
    }
    return values;
}

// Every pixel's alpha as it came in; returns how many pixels changed colour.
size_t expectAlphaKept(const std::vector<uint32_t> &in, const std::vector<uint32_t> &out, const std::string &what) {
    size_t recoloured = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        if ((out[i] >> 24) != (in[i] >> 24)) {
            ADD_FAILURE() << what << ": pixel " << i << " lost its alpha";
            break;
        }
        recoloured += (out[i] & 0xFFFFFFu) != (in[i] & 0xFFFFFFu);
    }
    return recoloured;
}

TEST(Frei0rConformance, PluginAndParameterInfoAreComplete) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    const f0r_plugin_info_t info = plugin.info();
    for (const char *text : {info.name, info.author, info.explanation}) {
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
    }
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    ASSERT_GT(info.num_params, 0);
    std::set<std::string> names; // as GStreamer names its properties: lower case, '-' for the rest
    for (int i = 0; i < info.num_params; ++i) {
        const f0r_param_info_t param = plugin.paramInfo(i);
        ASSERT_NE(param.name, nullptr) << i;
        ASSERT_NE(param.explanation, nullptr) << param.name;
        EXPECT_GT(std::strlen(param.explanation), 10u) << param.name;
        EXPECT_GE(param.type, F0R_PARAM_BOOL) << param.name;
        EXPECT_LE(param.type, F0R_PARAM_STRING) << param.name;
        std::string name = param.name;
        for (char &c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? std::tolower(c) : '-';
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << param.name << " is not told apart";
    }
    // An index outside the list leaves the record as it was.
    f0r_param_info_t untouched{"unchanged", 99, "unchanged"};
    plugin.getParamInfo(&untouched, info.num_params);
    plugin.getParamInfo(&untouched, -1);
    EXPECT_EQ(untouched.type, 99);
}

// Sets a value and reads it back, then sets what was read and reads again.
template <typename T>
std::pair<T, T> setTwice(const Frei0rPlugin &plugin, f0r_instance_t instance, int index, T value) {
    T got{}, again{};
    plugin.setParam(instance, &value, index);
    plugin.getParam(instance, &got, index);
    plugin.setParam(instance, &got, index);
    plugin.getParam(instance, &again, index);
    return {got, again};
}

// Doubles: what comes back lies in 0..1, grows with what is set, is least at
// 0 and greatest at 1, and set again comes back unchanged, so a project that
// saves what it reads reloads the same. The retired fps stays 0. The sweep
// runs from 1 down, away from the defaults: the look's number picks a look
// only when its value changes (the look's two forms, below).
void checkDouble(const Frei0rPlugin &plugin, f0r_instance_t instance, int index) {
    const std::string name = plugin.paramInfo(index).name;
    std::vector<double> back;
    for (int step = 64; step >= 0; --step) {
        const double value = step / 64.0;
        const auto [got, again] = setTwice(plugin, instance, index, value);
        ASSERT_TRUE(got >= 0.0 && got <= 1.0) << name << " set to " << value << " gives " << got;
        ASSERT_EQ(again, got) << name << " set to " << value;
        if (!back.empty()) {
            ASSERT_LE(got, back.back()) << name << " set to " << value;
        }
        back.push_back(got);
    }
    if (name == "fps") {
        EXPECT_EQ(back.front(), 0.0);
        return;
    }
    EXPECT_GT(back.front(), back.back()) << name;
}

// Bools: [0, 0.5) is off and [0.5, 1] on.
void checkBool(const Frei0rPlugin &plugin, f0r_instance_t instance, int index) {
    for (double value : {1.0, 0.0, 0.75, 0.49, 0.5, 0.25}) {
        double got = -1;
        plugin.setParam(instance, &value, index);
        plugin.getParam(instance, &got, index);
        EXPECT_EQ(got, value >= 0.5 ? 1.0 : 0.0) << plugin.paramInfo(index).name << " set to " << value;
    }
}

// Colours: each component back within half an 8-bit step, in its place,
// and set again unchanged.
void checkColour(const Frei0rPlugin &plugin, f0r_instance_t instance, int index) {
    const f0r_param_color_t colours[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.2f, 0.5f, 0.8f}, {0, 0, 0}, {1, 1, 1}};
    for (f0r_param_color_t colour : colours) {
        const auto [got, again] = setTwice(plugin, instance, index, colour);
        const float set[3] = {colour.r, colour.g, colour.b}, back[3] = {got.r, got.g, got.b};
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[c], set[c], 0.5 / 255 + 1e-6) << "component " << c;
        EXPECT_TRUE(again.r == got.r && again.g == got.g && again.b == got.b);
    }
}

// Strings (the look's words): the plug-in keeps its own copy of the text it
// is given.
void checkString(const Frei0rPlugin &plugin, f0r_instance_t instance, int index) {
    for (const char *look : kLooks) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", look);
        char *given = text;
        plugin.setParam(instance, &given, index);
        std::memset(text, 'x', sizeof text - 1);
        const char *got = nullptr;
        plugin.getParam(instance, &got, index);
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, look);
    }
}

TEST(Frei0rConformance, EveryParameterGivesBackWhatWasSet) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    Made instance(plugin, 8, 8), other(plugin, 8, 8);
    const std::vector<std::string> otherBefore = snapshot(plugin, other);
    for (int i = 0; i < plugin.info().num_params; ++i) {
        SCOPED_TRACE(plugin.paramInfo(i).name);
        switch (plugin.paramInfo(i).type) {
        case F0R_PARAM_DOUBLE: checkDouble(plugin, instance, i); break;
        case F0R_PARAM_BOOL: checkBool(plugin, instance, i); break;
        case F0R_PARAM_COLOR: checkColour(plugin, instance, i); break;
        case F0R_PARAM_STRING: checkString(plugin, instance, i); break;
        default: ADD_FAILURE() << "no check for type " << plugin.paramInfo(i).type;
        }
    }
    // The documented conversions: the look's words in any case, sizes in
    // 64ths, colour components rounded to 8 bits.
    const auto look = [&] {
        const char *word = nullptr;
        plugin.getParam(instance, &word, plugin.paramIndex("look"));
        return std::string(word ? word : "");
    };
    plugin.setText(instance, "look", "Film");
    EXPECT_EQ(look(), "film");
    // The look's two forms: hosts set every parameter for every frame, so
    // each form picks a look only when its own value changes.
    plugin.set(instance, "look number", 0.0); // as last set
    EXPECT_EQ(look(), "film");
    plugin.set(instance, "look number", 0.8);
    EXPECT_EQ(look(), "negative");
    plugin.setText(instance, "look", "film"); // as last set
    EXPECT_EQ(look(), "negative");
    plugin.setText(instance, "look", "B&W Film"); // the same look in the panel's words
    EXPECT_EQ(look(), "negative");
    plugin.setText(instance, "look", "rgb");
    EXPECT_EQ(look(), "rgb");
    double grain = 0;
    plugin.set(instance, "grainWidth", 0.5);
    plugin.getParam(instance, &grain, plugin.paramIndex("grainWidth"));
    EXPECT_EQ(grain, 0.5);
    f0r_param_color_t colour{0.5f, 0.0f, 1.0f};
    plugin.setParam(instance, &colour, plugin.paramIndex("mix"));
    plugin.getParam(instance, &colour, plugin.paramIndex("mix"));
    EXPECT_FLOAT_EQ(colour.r, 128 / 255.0f);
    // Each instance holds its own values.
    EXPECT_EQ(snapshot(plugin, other), otherBefore);
}

TEST(Frei0rConformance, TheSameTimeAndParametersGiveTheSameFrame) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    const std::vector<uint32_t> in = testFrame(kWidth, kHeight, 7);
    for (const char *look : kLooks) {
        Made first(plugin, kWidth, kHeight);
        configure(plugin, first, look, 0.8);
        const std::vector<std::string> parameters = snapshot(plugin, first);
        const std::vector<uint32_t> once = first.frame(0.4, in);
        EXPECT_EQ(snapshot(plugin, first), parameters) << look << ": a frame changed the parameters";
        EXPECT_EQ(std::fegetround(), FE_TONEAREST) << look << ": the rounding mode is not restored";
        EXPECT_NE(once, in) << look;
        first.frame(0.44, testFrame(kWidth, kHeight, 8)); // another frame between
        EXPECT_EQ(first.frame(0.4, in, 0xFFFFFFFFu), once) << look << " again";

        Made second(plugin, kWidth, kHeight); // made after, and through f0r_update2
        configure(plugin, second, look, 0.8);
        std::vector<uint32_t> out(in.size());
        plugin.update2(second, 0.4, in.data(), nullptr, nullptr, out.data());
        EXPECT_EQ(out, once) << look << " in another instance";
    }
}

// Fade 0 gives the input bit for bit on every frame, at fade 1 only colour
// changes, and a frame run twice is the same, at sizes from a single pixel,
// odd widths among them. The sprocket jump moves the picture at any fade, so
// it is off for fade 0.
TEST(Frei0rConformance, EverySizeKeepsFadeZeroAndAlpha) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    const std::pair<unsigned, unsigned> sizes[] = {{1, 1}, {2, 3}, {3, 2}, {7, 5}, {33, 17}, {65, 9}};
    for (const char *look : kLooks) {
        size_t recoloured = 0;
        for (const auto &[width, height] : sizes) {
            const std::string what = std::string(look) + " at " + std::to_string(width) + "x" + std::to_string(height);
            Made instance(plugin, width, height);
            configure(plugin, instance, look, 0.0);
            plugin.set(instance, "sprocketJump", 0.0);
            const std::vector<uint32_t> in = testFrame(width, height, width * 100 + height);
            for (int n = 0; n < 12; ++n)
                ASSERT_EQ(instance.frame(n / 24.0, in, 0xFFFFFFFFu), in) << what << " at fade 0, frame " << n;
            plugin.set(instance, "sprocketJump", 1.0);
            plugin.set(instance, "fade", 1.0);
            const std::vector<uint32_t> out = instance.frame(0.2, in);
            recoloured += expectAlphaKept(in, out, what);
            EXPECT_EQ(instance.frame(0.2, in, 0xFFFFFFFFu), out) << what << " again";
        }
        EXPECT_GT(recoloured, 0u) << look;
    }
}

// One frame at 7680 x 4320 with the heaviest look: no access outside the
// frame, and alpha kept.
TEST(Frei0rConformance, An8KFrameKeepsItsAlpha) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    constexpr unsigned width = 7680, height = 4320;
    Made instance(plugin, width, height);
    configure(plugin, instance, "film", 1.0);
    const std::vector<uint32_t> in = testFrame(width, height, 8);
    EXPECT_GT(expectAlphaKept(in, instance.frame(1.0, in), "8K"), in.size() / 2);
}

// Frames run out of time order, repeated, and after a rewind, are those of
// a run in order; static's grain is new on every frame of that run.
TEST(Frei0rConformance, FramesOutOfTimeOrderAreThoseOfAnInOrderRun) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    constexpr int kFrames = 10;
    const std::vector<uint32_t> in = testFrame(kWidth, kHeight, 3);
    for (const char *look : kLooks) {
        Made inOrder(plugin, kWidth, kHeight), seeking(plugin, kWidth, kHeight);
        configure(plugin, inOrder, look, 1.0);
        configure(plugin, seeking, look, 1.0);
        std::vector<std::vector<uint32_t>> frames;
        for (int n = 0; n < kFrames; ++n) {
            frames.push_back(inOrder.frame(n / 25.0, in));
            expectAlphaKept(in, frames.back(), std::string(look) + " frame " + std::to_string(n));
        }
        if (std::strcmp(look, "static") == 0) {
            EXPECT_EQ(std::set(frames.begin(), frames.end()).size(), static_cast<size_t>(kFrames));
        }
        for (const int n : {7, 3, 9, 0, 0, 5, 1, 8, 2, 6, 4, 4, 9})
            EXPECT_EQ(seeking.frame(n / 25.0, in), frames[n]) << look << " frame " << n << " out of order";
        for (const int n : {0, 1, 2})
            EXPECT_EQ(inOrder.frame(n / 25.0, in), frames[n]) << look << " frame " << n << " after a rewind";
    }
}

// One thread's work: its own instance, look and frames.
std::vector<std::vector<uint32_t>> render(const Frei0rPlugin &plugin, int look) {
    Made instance(plugin, kWidth, kHeight);
    configure(plugin, instance, kLooks[look], 0.25 * (look + 1));
    std::vector<std::vector<uint32_t>> frames;
    for (int number = 0; number < 6; ++number)
        frames.push_back(instance.frame(number / 24.0, testFrame(kWidth, kHeight, number)));
    return frames;
}

// Instances on several threads, as editors render, each give the frames
// they give alone, while another thread keeps making, running and
// destroying instances of its own.
TEST(Frei0rThreads, InstancesGiveTheirOwnFramesWhileOthersComeAndGo) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    std::vector<std::vector<uint32_t>> alone[4], together[4];
    for (int look = 0; look < 4; ++look) alone[look] = render(plugin, look);
    std::atomic<bool> done = false;
    std::atomic<int> churned = 0;
    std::thread churn([&] {
        const std::vector<uint32_t> in = testFrame(kWidth / 2, kHeight, 9);
        while (!done) {
            Made passing(plugin, kWidth / 2, kHeight);
            configure(plugin, passing, kLooks[churned % 4], 0.5);
            passing.frame(churned / 30.0, in);
            ++churned;
        }
    });
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (int look = 0; look < 4; ++look)
            threads.emplace_back([&, look] { together[look] = render(plugin, look); });
        for (std::thread &thread : threads) thread.join();
        for (int look = 0; look < 4; ++look) EXPECT_EQ(together[look], alone[look]) << kLooks[look];
    }
    done = true;
    churn.join();
    EXPECT_GT(churned, 0);
}

} // namespace
} // namespace kivo::test
