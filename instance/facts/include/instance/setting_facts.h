// What a host may know of the module's settings without knowing the
// instance's layout: names, stored positions, kinds, the words a user types
// for a value, ranges, panel labels and one-line descriptions. The facts come
// from the settings table; a host edits settings through the stored record
// (the values in stored order) and the module's own load and save.
#ifndef KIVO_INSTANCE_SETTING_FACTS_H
#define KIVO_INSTANCE_SETTING_FACTS_H

#include <cstdint>
#include <string_view>

enum class SettingKind : uint8_t {
    Switch,          // 0 off, anything else on
    Choice,          // one of the named values
    Integer,         // a number in [minimum, maximum]
    ColourComponent, // one channel of the mix colour, 0..255
    SceneItem,       // the id of a scene item, 0 for none
};

struct SettingFacts {
    const char *name;          // as hosts display it and users type it
    int storedPosition;        // 1-based position in the settings record
    int32_t defaultValue;      // value of a new instance
    SettingKind kind;
    const char *const *valueNames; // Switch, Choice: the word for each value from 0, null-terminated
    const char *const *items;      // Choice: the panel's item texts, null-terminated
    int32_t otherValuesActAs;      // Switch, Choice: what a value without a name does; -1: nothing
    int32_t minimum;               // the accepted range of a number
    int32_t maximum;
    const char *panelLabel; // label of the control that edits it
    const char *description;
};

inline constexpr int kSettingCount = 18;

// The settings in the table's order (the instance's memory order).
const SettingFacts &settingFacts(int index);

// The setting of that name, compared without regard to case, or null.
const SettingFacts *findSettingFacts(std::string_view name);

// The number of named values of a Switch or Choice, else 0.
constexpr int valueNameCount(const SettingFacts &facts) {
    int count = 0;
    if (facts.valueNames != nullptr)
        while (facts.valueNames[count] != nullptr) ++count;
    return count;
}

// The value a Switch or Choice acts as: a named value is itself, every other
// value acts as otherValuesActAs (-1: it has no effect). Other kinds: value.
constexpr int32_t actingValue(const SettingFacts &facts, int32_t value) {
    if (facts.kind != SettingKind::Switch && facts.kind != SettingKind::Choice) return value;
    return value >= 0 && value < valueNameCount(facts) ? value : facts.otherValuesActAs;
}

// The word for the value it acts as, or null when it acts as none.
const char *valueNameOf(const SettingFacts &facts, int32_t value);

// The value a word (compared without regard to case) names, or -1.
int32_t valueNamed(const SettingFacts &facts, std::string_view word);

#endif
