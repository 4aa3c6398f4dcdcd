#include "frei0r/setting_facts.h"

#include <algorithm>
#include <cstring>

#include "instance/setting_facts.h"

namespace kivo::frei0r {

namespace {

// The settings the plug-in sets. A number without a useful upper end gets a
// span of 64 steps above its minimum, so a normalised frei0r value can reach
// every useful size.
constexpr const char *kMapped[] = {"controlItem", "fadeChannel",  "fadeAxis", "fadeDivisor", "allowNegatives",
                                   "grainWidth",  "grainHeight",  "effect",   "mixRed",      "mixGreen",
                                   "mixBlue",     "filmQuality",  "sprocketJump", "whiteOut", "sepia",
                                   "vignette",    "outOfFocus",   "focalDisplacement"};
constexpr int32_t kNumberSteps = 63;

SettingMapping mappingOf(const ::SettingFacts &facts) {
    int32_t low = facts.minimum, high = facts.maximum;
    switch (facts.kind) {
    case SettingKind::Switch:
    case SettingKind::Choice: low = 0, high = std::max(valueNameCount(facts) - 1, 1); break;
    case SettingKind::Integer: high = std::min<int64_t>(facts.maximum, int64_t{low} + kNumberSteps); break;
    default: break;
    }
    return {facts.name, facts.description, facts.storedPosition, facts.defaultValue, low, high};
}

struct Table {
    SettingMapping mappings[sizeof(kMapped) / sizeof(kMapped[0])];
    Table() {
        int i = 0;
        for (const char *name : kMapped) mappings[i++] = mappingOf(*findSettingFacts(name));
    }
};

const Table &table() {
    static const Table instance;
    return instance;
}

const ::SettingFacts &effectFacts() { return *findSettingFacts("effect"); }

} // namespace

const SettingMapping *settingMapping(const char *name) {
    for (const SettingMapping &mapping : table().mappings)
        if (std::strcmp(mapping.name, name) == 0) return &mapping;
    return nullptr;
}

int lookCount() { return valueNameCount(effectFacts()); }

const char *lookName(int look) { return valueNameOf(effectFacts(), look); }

int lookOfName(const char *name) { return name == nullptr ? -1 : valueNamed(effectFacts(), name); }

} // namespace kivo::frei0r
