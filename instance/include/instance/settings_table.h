// The one table of the eighteen settings. Each row names the instance field
// it describes and carries everything else known of it: stored position,
// default, kind with its value names, item texts or range, panel label and
// description. Defaults, the settings record, the panels' controls and the
// host's displays all derive from it; adding a setting adds a row here and
// the pixel rule that uses it.
#ifndef KIVO_INSTANCE_SETTINGS_TABLE_H
#define KIVO_INSTANCE_SETTINGS_TABLE_H

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "instance/mixer_instance.h"
#include "instance/setting_facts.h"

struct SettingInfo {
    int32_t MixerInstance::*field;
    SettingFacts facts;
};

namespace settings_detail {
inline constexpr const char *kSwitchNames[] = {"off", "on", nullptr};
inline constexpr const char *kFadeChannelNames[] = {"scale", "coords", nullptr};
inline constexpr const char *kFadeChannelItems[] = {"Scale", "Co-ords", nullptr};
inline constexpr const char *kFadeAxisNames[] = {"x", "y", "z", nullptr};
inline constexpr const char *kFadeAxisItems[] = {" X ", " Y ", " Z ", nullptr};
inline constexpr const char *kYesNoItems[] = {" No ", " Yes ", nullptr};
inline constexpr const char *kEffectNames[] = {"static", "rgb", "film", "negative", nullptr};
inline constexpr const char *kEffectItems[] = {" Static ", "   RGB   ", "B&W Film", " Negative ", nullptr};
inline constexpr const char *kFilmQualityNames[] = {"clean", "dusty", nullptr};
inline constexpr const char *kFilmQualityItems[] = {" Nice'n'Clean ", " Old'n'Dusty ", nullptr};

inline constexpr int32_t kMost = INT32_MAX;

constexpr SettingFacts onOff(const char *name, int stored, const char *label, const char *description) {
    return {name, stored, 0, SettingKind::Switch, kSwitchNames, nullptr, 1, 0, 1, label, description};
}
constexpr SettingFacts choice(const char *name, int stored, int32_t def, const char *const *names,
                              const char *const *items, int32_t others, const char *label,
                              const char *description) {
    return {name, stored, def, SettingKind::Choice, names, items, others, 0, 0, label, description};
}
constexpr SettingFacts number(const char *name, int stored, int32_t def, SettingKind kind, int32_t minimum,
                              int32_t maximum, const char *label, const char *description) {
    return {name, stored, def, kind, nullptr, nullptr, -1, minimum, maximum, label, description};
}
constexpr SettingFacts member(const char *name, int stored, int32_t def, int32_t minimum, int32_t maximum,
                              int group, const char *description) {
    return {name, stored, def, SettingKind::Integer, nullptr, nullptr, -1, minimum, maximum, nullptr, description,
            group};
}
} // namespace settings_detail

// The groups of settings edited as one, by index.
inline constexpr int kMixColour = 0; // the colour that the RGB look blends towards
inline constexpr SettingGroup kSettingGroups[] = {
    {"mix", GroupKind::Colour, "Mix RGB :", "colour the RGB look blends towards"},
};

// In the instance's memory order. The spaces inside the item texts are part of them.
inline constexpr SettingInfo kSettings[kSettingCount] = {
    {&MixerInstance::grainWidth,
     settings_detail::number("grainWidth", 2, 1, SettingKind::Integer, 1, settings_detail::kMost,
                             "Pixel Grain Width :", "width of the grain blocks in pixels (below 1 counts as 1)")},
    {&MixerInstance::grainHeight,
     settings_detail::number("grainHeight", 3, 1, SettingKind::Integer, 1, settings_detail::kMost,
                             "Pixel Grain Height :", "height of the grain blocks in pixels (below 1 counts as 1)")},
    {&MixerInstance::fadeAxis,
     settings_detail::choice("fadeAxis", 5, 0, settings_detail::kFadeAxisNames, settings_detail::kFadeAxisItems, -1,
                             "Fade on value of :", "component of the control object's value that gives the fade")},
    {&MixerInstance::controlItem,
     settings_detail::number("controlItem", 1, 0, SettingKind::SceneItem, 0, settings_detail::kMost,
                             "Fade Control Object :", "scene item whose value fades the look in; 0: none, no fade")},
    {&MixerInstance::fadeDivisor,
     settings_detail::number("fadeDivisor", 6, 1, SettingKind::Integer, 1, settings_detail::kMost,
                             "Divide Value by :", "the control value is divided by this to give the fade")},
    {&MixerInstance::fadeChannel,
     settings_detail::choice("fadeChannel", 4, 0, settings_detail::kFadeChannelNames,
                             settings_detail::kFadeChannelItems, 0, "Fade Using :",
                             "the control object's scale or its position (co-ords)")},
    {&MixerInstance::allowNegatives,
     settings_detail::choice("allowNegatives", 7, 0, settings_detail::kSwitchNames, settings_detail::kYesNoItems, 1,
                             "Allow Negatives :", "a negative fade counts by its size instead of as 0")},
    {&MixerInstance::mixRed, settings_detail::member("mixRed", 9, 255, 0, 255, kMixColour, "red of the mix colour")},
    {&MixerInstance::mixGreen,
     settings_detail::member("mixGreen", 10, 255, 0, 255, kMixColour, "green of the mix colour")},
    {&MixerInstance::mixBlue, settings_detail::member("mixBlue", 11, 255, 0, 255, kMixColour, "blue of the mix colour")},
    {&MixerInstance::effect,
     settings_detail::choice("effect", 8, 0, settings_detail::kEffectNames, settings_detail::kEffectItems, 3,
                             "Fade using :", "the look faded in: static, RGB colour, black-and-white film, negative")},
    {&MixerInstance::filmQuality,
     settings_detail::choice("filmQuality", 12, 0, settings_detail::kFilmQualityNames,
                             settings_detail::kFilmQualityItems, 1, "B&W Quality :",
                             "film look: clean, or dusty with dust, flicker and scratches")},
    {&MixerInstance::sprocketJump,
     settings_detail::onOff("sprocketJump", 13, "Sprocket Jump", "film look: some frames jump up four rows")},
    {&MixerInstance::whiteOut,
     settings_detail::onOff("whiteOut", 14, "White-out", "film look: the film value doubled, washed out")},
    {&MixerInstance::sepia, settings_detail::onOff("sepia", 15, "Sepia Colourise", "film look: tinted sepia")},
    {&MixerInstance::vignette,
     settings_detail::onOff("vignette", 16, "Vignette Effect", "film look: darkened towards the corners")},
    {&MixerInstance::outOfFocus,
     settings_detail::onOff("outOfFocus", 17, "'Out of focus' effect", "film look: smeared to the right")},
    {&MixerInstance::focalDisplacement,
     settings_detail::number("focalDisplacement", 18, 1, SettingKind::Integer, 1, settings_detail::kMost,
                             "Focal Displacement :", "film look: column distance of the out-of-focus smear")},
};

// The fields of a group's members, in the table's order.
template <int Count> struct GroupFields {
    int32_t MixerInstance::*field[Count];
};
template <int Count> constexpr GroupFields<Count> groupFields(int group) {
    GroupFields<Count> fields{};
    int found = 0;
    for (const SettingInfo &setting : kSettings)
        if (setting.facts.group == group && found < Count) fields.field[found++] = setting.field;
    return fields;
}

// The row of a field, found at compile time.
constexpr const SettingInfo &settingOf(int32_t MixerInstance::*field) {
    for (const SettingInfo &setting : kSettings)
        if (setting.field == field) return setting;
    return kSettings[0]; // not reached for a field of the instance
}

namespace settings_detail {
constexpr bool eachFieldOnce() {
    for (int i = 0; i < kSettingCount; ++i)
        for (int j = i + 1; j < kSettingCount; ++j)
            if (kSettings[i].field == kSettings[j].field) return false;
    return true;
}
// Eighteen distinct fields of a record of eighteen: every field has its row.
static_assert(eachFieldOnce() && sizeof(MixerInstance) == kSettingCount * sizeof(int32_t),
              "the table describes every field of the instance once");

constexpr bool eachPositionOnce() {
    bool seen[kSettingCount + 1] = {};
    for (const SettingInfo &setting : kSettings) {
        const int position = setting.facts.storedPosition;
        if (position < 1 || position > kSettingCount || seen[position]) return false;
        seen[position] = true;
    }
    return true;
}
static_assert(eachPositionOnce(), "the stored positions are 1..18, each once");

constexpr bool eachGroupFull() {
    for (int group = 0; group < static_cast<int>(std::size(kSettingGroups)); ++group) {
        int members = 0;
        for (const SettingInfo &setting : kSettings) members += setting.facts.group == group;
        if (members != groupSize(kSettingGroups[group].kind)) return false;
    }
    return true;
}
static_assert(eachGroupFull(), "each group has the members of its kind");

// Compares no address with null: sanitizer builds cannot evaluate that here.
constexpr bool eachItemNamed() {
    for (const SettingInfo &setting : kSettings) {
        if (setting.facts.kind != SettingKind::Choice) continue;
        int items = 0, names = 0;
        while (setting.facts.items[items]) ++items;
        while (setting.facts.valueNames[names]) ++names;
        if (items != names) return false;
    }
    return true;
}
static_assert(eachItemNamed(), "a choice's item texts and value names pair up");

struct StoredOrder {
    int index[kSettingCount];
    constexpr StoredOrder() : index{} {
        for (int i = 0; i < kSettingCount; ++i) index[kSettings[i].facts.storedPosition - 1] = i;
    }
};
} // namespace settings_detail

// Table indices of the settings in stored order.
inline constexpr settings_detail::StoredOrder kStoredOrderTable;
inline constexpr const int (&kStoredOrder)[kSettingCount] = kStoredOrderTable.index;

// The field of the table's row `index`.
inline int32_t &settingField(MixerInstance &instance, int index) { return instance.*kSettings[index].field; }
inline int32_t settingField(const MixerInstance &instance, int index) { return instance.*kSettings[index].field; }

// The setting with this name (exactly as the table writes it), or null.
const SettingInfo *findSetting(const char *name);

#endif
