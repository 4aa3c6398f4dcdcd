#include "frei0r/param_table.h"

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <cmath>
#include <cstring>

namespace kivo::frei0r {

namespace {

struct Table {
    Param params[kParamCount];
    Table() {
        auto facts = [](const char *name) { return settingMapping(name); };
        auto setting = [&](const char *name, int type, ParamKind kind) {
            const SettingMapping *f = facts(name);
            return Param{f->name, f->description, type, kind, {f, nullptr, nullptr}};
        };
        int i = 0;
        params[i++] = {"look", facts("effect")->description, F0R_PARAM_STRING, ParamKind::Look, {facts("effect")}};
        params[i++] = {"fade", "How far the frame is blended towards the look, 0 to 1", F0R_PARAM_DOUBLE,
                       ParamKind::Fade, {}};
        params[i++] = {"fps", "Frames per second: the module's frame number is the time times this, rounded",
                       F0R_PARAM_DOUBLE, ParamKind::Fps, {}};
        params[i++] = {"time unit",
                       "Length of the host's time unit in seconds: 0.001 milliseconds, 1 seconds, 0 the host's own",
                       F0R_PARAM_DOUBLE, ParamKind::TimeUnit, {}};
        params[i++] = setting("grainWidth", F0R_PARAM_DOUBLE, ParamKind::Number);
        params[i++] = setting("grainHeight", F0R_PARAM_DOUBLE, ParamKind::Number);
        params[i++] = {"mixColour", "Colour the RGB look blends towards", F0R_PARAM_COLOR, ParamKind::Colour,
                       {facts("mixRed"), facts("mixGreen"), facts("mixBlue")}};
        params[i++] = setting("filmQuality", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("sprocketJump", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("whiteOut", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("sepia", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("vignette", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("outOfFocus", F0R_PARAM_BOOL, ParamKind::Switch);
        params[i++] = setting("focalDisplacement", F0R_PARAM_DOUBLE, ParamKind::Number);
    }
};

} // namespace

const Param &paramAt(int index) {
    static const Table table;
    return table.params[index];
}

int32_t settingOfNormalised(double value, const SettingMapping &facts) {
    if (!(value > 0.0)) return facts.low;
    if (value >= 1.0) return facts.high;
    return facts.low + static_cast<int32_t>(std::floor(value * (facts.high - facts.low) + 0.5));
}

double normalisedOfSetting(int32_t setting, const SettingMapping &facts) {
    return (static_cast<double>(setting) - facts.low) / (facts.high - facts.low);
}

int32_t channelOfColour(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<int32_t>(std::floor(static_cast<double>(value) * 255.0 + 0.5));
}

int32_t frameNumberOf(double time, double unitSeconds, double fps) {
    const double frame = std::floor(time * unitSeconds * fps + 0.5);
    if (!(frame == frame)) return 0;
    if (frame <= -2147483648.0) return INT32_MIN;
    if (frame >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(frame);
}

double detectedTimeUnit() {
    // MLT and GStreamer link libavfilter into some processes too, so they are
    // asked first.
    if (dlsym(RTLD_DEFAULT, "mlt_factory_init") != nullptr || dlsym(RTLD_DEFAULT, "gst_init") != nullptr) return 1.0;
    if (dlsym(RTLD_DEFAULT, "avfilter_graph_alloc") != nullptr) return 0.001;
    return 1.0;
}

} // namespace kivo::frei0r
