// What the frei0r plug-in needs to know about the module's settings: names,
// one-line descriptions, stored positions, defaults and the span a frei0r
// parameter maps onto. Descriptive facts only, taken from the settings
// table's facts; the plug-in never touches an instance's memory. This is the
// one file that reads those facts.
#ifndef KIVO_FREI0R_SETTING_FACTS_H
#define KIVO_FREI0R_SETTING_FACTS_H

#include <cstdint>

namespace kivo::frei0r {

struct SettingMapping {
    const char *name;        // field name, as the settings table gives it
    const char *description; // one line for the host's parameter list
    int storedPosition;      // 1-based position in the settings record
    int32_t defaultValue;    // value of a new instance
    int32_t low, high;       // the span a normalised frei0r value maps onto
};

inline constexpr int kStoredSettingCount = 18;

// The mapping of the setting of this field name, or null.
const SettingMapping *settingMapping(const char *name);

// The look (effect) values: their number, the name of each, and the value a
// name (in any case) gives, or -1.
int lookCount();
const char *lookName(int look);
int lookOfName(const char *name);

} // namespace kivo::frei0r

#endif
