#include "frei0r/param_table.h"

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <vector>

namespace kivo::frei0r {

namespace {

// The setting the look parameters set.
constexpr char kLookSetting[] = "effect";

// The fade reaches the module as the scale X of the plug-in's own control
// item, undivided and never negative: these settings are not parameters.
struct FixedSetting {
    const char *name;
    int32_t value; // -1: the plug-in's fade item
};
constexpr FixedSetting kFadeControl[] = {
    {"controlItem", -1}, {"fadeChannel", 0}, {"fadeAxis", 0}, {"fadeDivisor", 1}, {"allowNegatives", 0}};

// A number without a useful upper end reaches up to 64 (grain sizes and the
// focal displacement, in pixels).
constexpr int32_t kLargestNumber = 64;

// Texts made from the settings table, kept for the life of the process.
const char *kept(std::string text) {
    static std::deque<std::string> texts;
    return texts.emplace_back(std::move(text)).c_str();
}

// A panel label as an editor shows it: without the trailing " :".
const char *labelOf(const char *panelLabel) {
    std::string label = panelLabel;
    while (!label.empty() && (label.back() == ' ' || label.back() == ':')) label.pop_back();
    return kept(label);
}

SettingSpan spanOf(const SettingFacts &facts) {
    int32_t low = facts.minimum, high = facts.maximum;
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice)
        low = 0, high = std::max(valueNameCount(facts) - 1, 1);
    else if (facts.maximum == INT32_MAX)
        high = kLargestNumber;
    return {&facts, low, high};
}

bool fixedByThePlugin(const SettingFacts &facts) {
    return std::any_of(std::begin(kFadeControl), std::end(kFadeControl),
                       [&](const FixedSetting &fixed) { return std::strcmp(fixed.name, facts.name) == 0; });
}

Param settingParam(const SettingFacts &facts) {
    if (const SettingGroup *group = groupOf(facts)) {
        Param param{group->name, labelOf(group->panelLabel), group->description, ParamKind::Colour};
        param.group = group;
        const SettingFacts *members[kSettingCount];
        groupMembers(*group, members);
        for (int i = 0; i < groupSize(group->kind); ++i) param.settings[i] = spanOf(*members[i]);
        return param;
    }
    const bool look = std::strcmp(facts.name, kLookSetting) == 0;
    const ParamKind kind = look ? ParamKind::Look : facts.kind == SettingKind::Integer ? ParamKind::Number
                                                                                        : ParamKind::Switch;
    Param param{look ? "look" : facts.name, labelOf(facts.panelLabel), facts.description, kind};
    param.settings[0] = spanOf(facts);
    return param;
}

// "0 static, 0.25 rgb, ...": the look number of each look.
std::string lookNumbers(const SettingFacts &look) {
    std::string list;
    const int count = valueNameCount(look);
    for (int i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%g", static_cast<double>(i) / count);
        list += (i ? ", " : "") + std::string(number) + " " + look.valueNames[i];
    }
    return list;
}

Param lookNumberParam() {
    const SettingFacts &look = *findSettingFacts(kLookSetting);
    Param param{"look number", "Look number",
                kept("The look as a number, for hosts without text parameters: " + lookNumbers(look) +
                     " (any value picks the look of its part of 0..1)"),
                ParamKind::LookNumber, &ParamValues::lookNumber};
    param.settings[0] = spanOf(look);
    return param;
}

std::vector<Param> buildParams() {
    std::vector<Param> params = {
        settingParam(*findSettingFacts(kLookSetting)),
        {"fade", "Fade", "How far the frame is blended towards the look, 0 to 1; keyframe it to fade the look",
         ParamKind::Fade, &ParamValues::fade, 1.0},
        {"fps", "Not used (fps)",
         "Not used: frames are numbered by their time; kept so that the parameters after it keep their places",
         ParamKind::Retired},
        {"time unit", "Time unit",
         "Length of the host's time unit in seconds: 0.001 milliseconds, 1 seconds, 0 the host's own",
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
    params.push_back(lookNumberParam());
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

// Changed when the setting changed: settings are loaded into the module only
// then, since MLT sets every parameter again for each frame.
SetResult store(ParamValues &values, const SettingSpan &span, int32_t setting) {
    int32_t &kept = held(values, span);
    const bool changed = kept != setting;
    kept = setting;
    return changed ? SetResult::Changed : SetResult::Kept;
}

double number(const void *value) { return *static_cast<const double *>(value); }

std::string shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

SetResult refuse(std::string &why, const std::string &what, const std::string &keeps) {
    why = what + "; it keeps " + keeps;
    return SetResult::Refused;
}

std::string outside(double value) { return shown(value) + " is not a value from 0 to 1"; }

SetResult setLook(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const SettingFacts &look = *param.settings[0].facts;
    const char *word = *static_cast<const char *const *>(value);
    const int32_t named = word == nullptr ? -1 : valueNamed(look, word);
    if (named < 0) {
        std::string words;
        for (int i = 0; i < valueNameCount(look); ++i) words += (i ? ", " : "") + std::string(look.valueNames[i]);
        return refuse(why, "\"" + std::string(word ? word : "") + "\" is not a look (" + words + ")",
                      std::string("\"") + valueNameOf(look, held(values, param.settings[0])) + "\"");
    }
    if (named == values.lookWord) return SetResult::Kept; // the word form did not change
    values.lookWord = named;
    return store(values, param.settings[0], named);
}
void getLook(const Param &param, const ParamValues &values, void *value) {
    *static_cast<const char **>(value) = valueNameOf(*param.settings[0].facts, held(values, param.settings[0]));
}

SetResult setLookNumber(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const double v = number(value);
    const int count = valueNameCount(*param.settings[0].facts);
    if (!(v >= 0.0 && v <= 1.0)) return refuse(why, outside(v), "the look");
    if (v == values.lookNumber) return SetResult::Kept; // the number form did not change
    values.lookNumber = v;
    return store(values, param.settings[0], std::min(static_cast<int32_t>(v * count), count - 1));
}
void getLookNumber(const Param &param, const ParamValues &values, void *value) {
    const SettingSpan &span = param.settings[0];
    *static_cast<double *>(value) = static_cast<double>(actingValue(*span.facts, held(values, span))) /
                                    valueNameCount(*span.facts);
}

SetResult setOwn(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const double v = number(value);
    if (!(v >= 0.0 && v <= 1.0)) return refuse(why, outside(v), shown(values.*param.own));
    values.*param.own = v;
    return SetResult::Kept;
}
void getOwn(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = values.*param.own;
}

SetResult setRetired(const Param &, ParamValues &, const void *value, std::string &why) {
    if (number(value) == 0.0) return SetResult::Kept;
    why = shown(number(value)) + " has no effect: frames are numbered by their time in milliseconds";
    return SetResult::Refused;
}
void getRetired(const Param &, const ParamValues &, void *value) { *static_cast<double *>(value) = 0.0; }

SetResult setNumber(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const SettingSpan &span = param.settings[0];
    const std::optional<int32_t> setting = settingOfNormalised(number(value), span);
    if (!setting) return refuse(why, outside(number(value)), shown(normalisedOfSetting(held(values, span), span)));
    return store(values, span, *setting);
}
void getNumber(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = normalisedOfSetting(held(values, param.settings[0]), param.settings[0]);
}

SetResult setSwitch(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const double v = number(value);
    const int32_t was = held(values, param.settings[0]) != 0;
    if (!(v >= 0.0 && v <= 1.0)) return refuse(why, outside(v), was ? "on" : "off");
    return store(values, param.settings[0], v >= 0.5 ? 1 : 0);
}
void getSwitch(const Param &param, const ParamValues &values, void *value) {
    *static_cast<double *>(value) = held(values, param.settings[0]) != 0 ? 1.0 : 0.0;
}

std::string shownColour(const float (&components)[3]) {
    return shown(components[0]) + "/" + shown(components[1]) + "/" + shown(components[2]);
}
void getColour(const Param &param, const ParamValues &values, void *value);

SetResult setColour(const Param &param, ParamValues &values, const void *value, std::string &why) {
    const auto *colour = static_cast<const f0r_param_color_t *>(value);
    const float components[3] = {colour->r, colour->g, colour->b};
    std::optional<int32_t> settings[3];
    for (int i = 0; i < 3; ++i) settings[i] = settingOfNormalised(components[i], param.settings[i]);
    if (!settings[0] || !settings[1] || !settings[2]) {
        f0r_param_color_t was{};
        getColour(param, values, &was);
        return refuse(why, "the colour " + shownColour(components) + " has a component outside 0..1",
                      shownColour({was.r, was.g, was.b}));
    }
    bool changed = false;
    for (int i = 0; i < 3; ++i) changed |= store(values, param.settings[i], *settings[i]) == SetResult::Changed;
    return changed ? SetResult::Changed : SetResult::Kept;
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
    SetResult (*set)(const Param &, ParamValues &, const void *, std::string &);
    void (*get)(const Param &, const ParamValues &, void *);
};
constexpr KindCodec kCodecs[] = {
    {ParamKind::Look, F0R_PARAM_STRING, setLook, getLook},
    {ParamKind::Fade, F0R_PARAM_DOUBLE, setOwn, getOwn},
    {ParamKind::Retired, F0R_PARAM_DOUBLE, setRetired, getRetired},
    {ParamKind::TimeUnit, F0R_PARAM_DOUBLE, setOwn, getOwn},
    {ParamKind::Number, F0R_PARAM_DOUBLE, setNumber, getNumber},
    {ParamKind::Switch, F0R_PARAM_BOOL, setSwitch, getSwitch},
    {ParamKind::Colour, F0R_PARAM_COLOR, setColour, getColour},
    {ParamKind::LookNumber, F0R_PARAM_DOUBLE, setLookNumber, getLookNumber},
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

host::StoredSettings defaultSettings() {
    host::StoredSettings settings{};
    for (int i = 0; i < kSettingCount; ++i) settings[settingFacts(i).storedPosition - 1] = settingFacts(i).defaultValue;
    return settings;
}

ParamValues newParamValues(const host::StoredSettings &saved, int32_t fadeItem) {
    ParamValues values{saved};
    for (const FixedSetting &fixed : kFadeControl)
        values.settings[findSettingFacts(fixed.name)->storedPosition - 1] = fixed.value < 0 ? fadeItem : fixed.value;
    for (const Param &param : params())
        if (param.own != nullptr) values.*param.own = param.defaultValue;
    const SettingFacts &look = *findSettingFacts(kLookSetting);
    values.lookWord = look.defaultValue;
    values.lookNumber = static_cast<double>(look.defaultValue) / valueNameCount(look);
    return values;
}

SetResult setParamValue(const Param &param, ParamValues &values, const void *value, std::string &why) {
    return codecOf(param.kind).set(param, values, value, why);
}

void getParamValue(const Param &param, const ParamValues &values, void *value) {
    codecOf(param.kind).get(param, values, value);
}

std::optional<int32_t> settingOfNormalised(double value, const SettingSpan &span) {
    if (!(value >= 0.0 && value <= 1.0)) return std::nullopt;
    const auto setting = static_cast<int32_t>(std::floor(value * span.high + 0.5));
    return std::clamp(setting, span.low, span.high);
}

double normalisedOfSetting(int32_t setting, const SettingSpan &span) {
    return static_cast<double>(setting) / span.high;
}

double detectedTimeUnit() {
    // MLT and GStreamer link libavfilter into some processes too, so they are
    // asked first.
    if (dlsym(RTLD_DEFAULT, "mlt_factory_init") != nullptr || dlsym(RTLD_DEFAULT, "gst_init") != nullptr) return 1.0;
    if (dlsym(RTLD_DEFAULT, "avfilter_graph_alloc") != nullptr) return 0.001;
    return 1.0;
}

} // namespace kivo::frei0r
