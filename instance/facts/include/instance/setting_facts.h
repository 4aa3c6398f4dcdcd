// What a host may know of the module's settings without knowing the
// instance's layout: the name of its servers, the size of its settings
// record, and per setting its name, stored position, kind, the words a user
// types for a value, range, panel label, one-line description and group. The
// facts come from the settings table; a host edits settings through the
// stored record (the values in stored order) and the module's own load and
// save.
#ifndef KIVO_INSTANCE_SETTING_FACTS_H
#define KIVO_INSTANCE_SETTING_FACTS_H

#include <cstdint>
#include <string_view>

// The name of the module's two servers, its handler and its interface.
inline constexpr char kMixerServerName[] = "Kivo_VidMixer";

// The bytes of the settings record that the module saves and loads.
inline constexpr int kSettingsRecordSize = 128;

enum class SettingKind : uint8_t {
    Switch,    // 0 off, anything else on
    Choice,    // one of the named values
    Integer,   // a number in [minimum, maximum]
    SceneItem, // the id of a scene item, 0 for none
};

enum class GroupKind : uint8_t {
    Colour, // three members: red, green and blue
};

// Settings that users see as one thing: one panel control, one command-line
// pair, one frei0r parameter. The members are the settings of the group's
// index, in the table's order.
struct SettingGroup {
    const char *name; // as hosts display it and users type it
    GroupKind kind;
    const char *panelLabel; // label of the control that edits all members
    const char *description;
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
    const char *panelLabel; // label of the control that edits it; null in a group
    const char *description;
    int group = -1; // the index of its group (settingGroup), -1: none
};

inline constexpr int kSettingCount = 18;

// The number of members of a group of this kind.
constexpr int groupSize(GroupKind kind) { return kind == GroupKind::Colour ? 3 : 0; }

// The settings in the table's order (the instance's memory order).
const SettingFacts &settingFacts(int index);

// The setting of that name, compared without regard to case, or null.
const SettingFacts *findSettingFacts(std::string_view name);

// The setting stored at a position of the settings record (1 to 18).
const SettingFacts &storedSettingFacts(int position);

// The groups, by index.
int settingGroupCount();
const SettingGroup &settingGroup(int index);

// The setting's group, or null.
inline const SettingGroup *groupOf(const SettingFacts &facts) {
    return facts.group < 0 ? nullptr : &settingGroup(facts.group);
}

// The group of that name, compared without regard to case, or null.
const SettingGroup *findSettingGroup(std::string_view name);

// The group's members, in the table's order; groupSize(kind) of them.
void groupMembers(const SettingGroup &group, const SettingFacts *members[]);

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

// The value that a word names, or -1: a value name, or a Choice's item text
// without its surrounding spaces ("film" or "B&W Film"), compared without
// regard to case.
int32_t valueNamed(const SettingFacts &facts, std::string_view word);

#endif
