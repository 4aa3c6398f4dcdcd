#include "frei0r/param_table.h"

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

namespace kivo::frei0r {

namespace {

// The setting the look parameter sets.
constexpr char kLookSetting[] = "effect";

// The fade reaches the module as the scale X of the plug-in's own control
// item, undivided and never negative: these settings are not parameters.
struct FixedSetting {
    const char *name;
    int32_t value; // -1: the plug-in's fade item
};
constexpr FixedSetting kFadeControl[] = {
    {"controlItem", -1}, {"fadeChannel", 0}, {"fadeAxis", 0}, {"fadeDivisor", 1}, {"allowNegatives", 0}};

// A number without a useful upper end gets a span of 64 steps above its
// minimum, so that a normalised frei0r value reaches every useful size.
constexpr int32_t kNumberSteps = 63;

SettingSpan spanOf(const SettingFacts &facts) {
    int32_t low = facts.minimum, high = facts.maximum;
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice)
        low = 0, high = std::max(valueNameCount(facts) - 1, 1);
    else if (facts.maximum == INT32_MAX)
        high = low + kNumberSteps;
    return {&facts, low, high};
}

bool fixedByThePlugin(const SettingFacts &facts) {
    return std::any_of(std::begin(kFadeControl), std::end(kFadeControl),
                       [&](const FixedSetting &fixed) { return std::strcmp(fixed.name, facts.name) == 0; });
}

Param settingParam(const SettingFacts &facts) {
    if (const SettingGroup *group = groupOf(facts)) {
        Param param{group->name, group->description, ParamKind::Colour, nullptr, 0.0, {}, group};
        const SettingFacts *members[kSettingCount];
        groupMembers(*group, members);
        for (int i = 0; i < groupSize(group->kind); ++i) param.settings[i] = spanOf(*members[i]);
        return param;
    }
    const ParamKind kind = std::strcmp(facts.name, kLookSetting) == 0 ? ParamKind::Look
                           : facts.kind == SettingKind::Integer    ? ParamKind::Number
                                                                   : ParamKind::Switch;
    const char *name = kind == ParamKind::Look ? "look" : facts.name;
    return {name, facts.description, kind, nullptr, 0.0, {spanOf(facts)}, nullptr};
}

std::vector<Param> buildParams() {
    std::vector<Param> params = {
        settingParam(*findSettingFacts(kLookSetting)),
        {"fade", "How far the frame is blended towards the look, 0 to 1", ParamKind::Fade, &ParamValues::fade, 0.0},
        {"fps", "Frames per second: the module's frame number is the time times this, rounded", ParamKind::Fps,
         &ParamValues::fps, 24.0},
        {"time unit", "Length of the host's time unit in seconds: 0.001 milliseconds, 1 seconds, 0 the host's own",
         ParamKind::TimeUnit, &ParamValues::timeUnit, 0.0},
    };
    int lastGroup = -1;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        if (fixedByThePlugin(facts) || std::strcmp(facts.name, kLookSetting) == 0) continue;
        if (facts.group >= 0 && facts.group == lastGroup) continue; // one parameter per group
        lastGroup = facts.group;
        params.push_back(settingParam(facts));
    }
    return params;
}

const std::vector<Param> &params() {
    static const std::vector<Param> table = buildParams();
    return table;
}

int32_t &held(ParamValues &values, const SettingSpan &span) { return values.settings[span.facts->storedPosition - 1]; }
int32_t held(const ParamValues &values, const SettingSpan &span) {
    return values.settings[span.facts->storedPosition - 1];
}

// True when the setting changed: settings are loaded into the module only
// then, since MLT sets every parameter again for each frame.
bool store(ParamValues &values, const SettingSpan &span, int32_t setting) {
    int32_t &kept = held(values, span);
    const bool changed = kept != setting;
    kept = setting;
    return changed;
}

double number(const void *value) { return *static_cast<const double *>(value); }

bool setLook(const Param &param, ParamValues &values, const void *value) {
    const char *name = *static_cast<const char *const *>(value);
    const int32_t look = name == nullptr ? -1 : valueNamed(*param.settings[0].facts, name);
    return look >= 0 && store(values, param.settings[0], look); // an unknown name leaves the look as it was
}
void getLook(const Param &param, const ParamValues &values, void *value) {
    *static_cast<const char **>(value) = valueNameOf(*param.settings[0].facts, held(values, param.settings[0]));
}

bool setFade(const Param &, ParamValues &values, const void *value) {
    values.fade = number(value);
    return false;
}
bool setFps(const Param &, ParamValues &values, const void *value) {
    if (number(value) > 0.0) values.fps = number(value);
    return false;
}
bool setTimeUnit(const Param &, ParamValues &values, const void *value) {
    if (number(value) >= 0.0) values.timeUnit = number(value);
    return false;
}
void getOwn(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = values.*param.own;
}

bool setNumber(const Param &param, ParamValues &values, const void *value) {
    return store(values, param.settings[0], settingOfNormalised(number(value), param.settings[0]));
}
void getNumber(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = normalisedOfSetting(held(values, param.settings[0]), param.settings[0]);
}

bool setSwitch(const Param &param, ParamValues &values, const void *value) {
    return store(values, param.settings[0], number(value) >= 0.5 ? 1 : 0);
}
void getSwitch(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = held(values, param.settings[0]) != 0 ? 1.0 : 0.0;
}

bool setColour(const Param &param, ParamValues &values, const void *value) {
    const auto *colour = static_cast<const f0r_param_color_t *>(value);
    const float components[3] = {colour->r, colour->g, colour->b};
    bool changed = false;
    for (int i = 0; i < 3; ++i)
        changed |= store(values, param.settings[i], settingOfNormalised(components[i], param.settings[i]));
    return changed;
}
void getColour(const Param &param, const ParamValues &values, void *value) {
    auto *colour = static_cast<f0r_param_color_t *>(value);
    float *components[3] = {&colour->r, &colour->g, &colour->b};
    for (int i = 0; i < 3; ++i)
        *components[i] = static_cast<float>(normalisedOfSetting(held(values, param.settings[i]), param.settings[i]));
}

// How each kind takes a frei0r value and gives it back, in ParamKind's order.
struct KindCodec {
    ParamKind kind;
    int type;
    bool (*set)(const Param &, ParamValues &, const void *);
    void (*get)(const Param &, const ParamValues &, void *);
};
constexpr KindCodec kCodecs[] = {
    {ParamKind::Look, F0R_PARAM_STRING, setLook, getLook},
    {ParamKind::Fade, F0R_PARAM_DOUBLE, setFade, getOwn},
    {ParamKind::Fps, F0R_PARAM_DOUBLE, setFps, getOwn},
    {ParamKind::TimeUnit, F0R_PARAM_DOUBLE, setTimeUnit, getOwn},
    {ParamKind::Number, F0R_PARAM_DOUBLE, setNumber, getNumber},
    {ParamKind::Switch, F0R_PARAM_BOOL, setSwitch, getSwitch},
    {ParamKind::Colour, F0R_PARAM_COLOR, setColour, getColour},
};

constexpr bool codecsInKindOrder() {
    for (size_t i = 0; i < std::size(kCodecs); ++i)
        if (static_cast<size_t>(kCodecs[i].kind) != i) return false;
    return true;
}
static_assert(codecsInKindOrder(), "one codec per kind, in the kinds' order");

const KindCodec &codecOf(ParamKind kind) { return kCodecs[static_cast<size_t>(kind)]; }

} // namespace

int paramCount() { return static_cast<int>(params().size()); }

const Param &paramAt(int index) { return params()[static_cast<size_t>(index)]; }

int paramType(ParamKind kind) { return codecOf(kind).type; }

bool showsSettings(const Param &param) { return param.settings[0].facts != nullptr; }

ParamValues newParamValues(const host::StoredSettings &saved, int32_t fadeItem) {
    ParamValues values{saved};
    for (const FixedSetting &fixed : kFadeControl)
        values.settings[findSettingFacts(fixed.name)->storedPosition - 1] = fixed.value < 0 ? fadeItem : fixed.value;
    for (const Param &param : params())
        if (param.own != nullptr) values.*param.own = param.defaultValue;
    return values;
}

bool setParamValue(const Param &param, ParamValues &values, const void *value) {
    return codecOf(param.kind).set(param, values, value);
}

void getParamValue(const Param &param, const ParamValues &values, void *value) {
    codecOf(param.kind).get(param, values, value);
}

int32_t settingOfNormalised(double value, const SettingSpan &span) {
    if (!(value > 0.0)) return span.low;
    if (value >= 1.0) return span.high;
    return span.low + static_cast<int32_t>(std::floor(value * (span.high - span.low) + 0.5));
}

double normalisedOfSetting(int32_t setting, const SettingSpan &span) {
    return (static_cast<double>(setting) - span.low) / (span.high - span.low);
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
