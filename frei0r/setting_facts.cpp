#include "frei0r/setting_facts.h"

#include <cstring>

#include "module/settings_table.h"

namespace kivo::frei0r {

const char *const kLookNames[kLookCount] = {"static", "rgb", "film", "negative"};

namespace {

struct Extra {
    const char *name;
    const char *description;
    int32_t low, high;
};

// Descriptions and frei0r spans of the settings the plug-in sets; the rest
// of the facts come from the module's table.
constexpr Extra kExtras[] = {
    {"controlItem", "Item whose scale drives the fade; the plug-in sets it", 0, 0},
    {"fadeChannel", "Vector of the fade item that is read: 0 scale, 1 position", 0, 1},
    {"fadeAxis", "Component of that vector: 0 X, 1 Y, 2 Z", 0, 2},
    {"fadeDivisor", "The component is divided by this", 1, 1},
    {"allowNegatives", "Whether a negative fade counts by its size", 0, 1},
    {"grainWidth", "Width in pixels of the blocks that share one random value", 1, 64},
    {"grainHeight", "Height in pixels of the blocks that share one random value", 1, 64},
    {"effect", "The look: static, rgb, film or negative", 0, 3},
    {"mixRed", "Red of the colour the RGB look blends towards", 0, 255},
    {"mixGreen", "Green of the colour the RGB look blends towards", 0, 255},
    {"mixBlue", "Blue of the colour the RGB look blends towards", 0, 255},
    {"filmQuality", "Film quality: off Nice'n'Clean, on Old'n'Dusty (dust, flicker, scratches)", 0, 1},
    {"sprocketJump", "Film: on some frames the picture slips up by four rows", 0, 1},
    {"whiteOut", "Film: doubled brightness, the flicker darkening instead", 0, 1},
    {"sepia", "Film: sepia tint", 0, 1},
    {"vignette", "Film: darker corners", 0, 1},
    {"outOfFocus", "Film: smear towards the left", 0, 1},
    {"focalDisplacement", "Film: step of the out-of-focus smear in pixels", 1, 64},
};

struct Table {
    SettingFacts facts[sizeof(kExtras) / sizeof(kExtras[0])];
    Table() {
        int i = 0;
        for (const Extra &extra : kExtras) {
            for (const SettingInfo &info : kSettings)
                if (std::strcmp(info.name, extra.name) == 0)
                    facts[i] = {info.name, extra.description, info.storedPosition, info.defaultValue, extra.low,
                                extra.high};
            ++i;
        }
    }
};

const Table &table() {
    static const Table instance;
    return instance;
}

} // namespace

const SettingFacts *settingFacts(const char *name) {
    for (const SettingFacts &facts : table().facts)
        if (std::strcmp(facts.name, name) == 0) return &facts;
    return nullptr;
}

} // namespace kivo::frei0r
