// What the frei0r plug-in needs to know about the module's settings: names,
// one-line descriptions, stored positions, defaults and the range a frei0r
// parameter spans. Descriptive facts only; the plug-in never touches an
// instance's memory. This is the one file that reads the module's settings
// table.
#ifndef KIVO_FREI0R_SETTING_FACTS_H
#define KIVO_FREI0R_SETTING_FACTS_H

#include <cstdint>

namespace kivo::frei0r {

struct SettingFacts {
    const char *name;        // field name, as the settings table gives it
    const char *description; // one line for the host's parameter list
    int storedPosition;      // 1-based position in the settings record
    int32_t defaultValue;    // value of a new instance
    int32_t low, high;       // the span a normalised frei0r value maps onto
};

inline constexpr int kStoredSettingCount = 18;

// The facts of the setting of this field name, or null.
const SettingFacts *settingFacts(const char *name);

// The names of the look (effect) values, indexed by effect number; the last
// one is also what any other number shows as.
inline constexpr int kLookCount = 4;
extern const char *const kLookNames[kLookCount];

} // namespace kivo::frei0r

#endif
