// The one table of the eighteen settings: name, memory order, stored order,
// default and panel label. Defaults, the settings record, the panels and the
// host's displays all read it.
#ifndef KIVO_MODULE_SETTINGS_TABLE_H
#define KIVO_MODULE_SETTINGS_TABLE_H

#include <cstddef>
#include <cstdint>

#include "module/mixer_instance.h"

struct SettingInfo {
    const char *name;       // field name, as hosts display it
    size_t memoryIndex;     // 0-based position in MixerInstance
    int storedPosition;     // 1-based position in the settings record
    int32_t defaultValue;   // value of a new instance
    const char *panelLabel; // label of the control that edits it
};

inline constexpr int kSettingCount = 18;

// Indexed by memory order.
#define KIVO_SETTING(field, stored, def, label) \
    {#field, offsetof(MixerInstance, field) / sizeof(int32_t), stored, def, label}

inline constexpr SettingInfo kSettings[kSettingCount] = {
    KIVO_SETTING(grainWidth, 2, 1, "Pixel Grain Width :"),
    KIVO_SETTING(grainHeight, 3, 1, "Pixel Grain Height :"),
    KIVO_SETTING(fadeAxis, 5, 0, "Fade on value of :"),
    KIVO_SETTING(controlItem, 1, 0, "Fade Control Object :"),
    KIVO_SETTING(fadeDivisor, 6, 1, "Divide Value by :"),
    KIVO_SETTING(fadeChannel, 4, 0, "Fade Using :"),
    KIVO_SETTING(allowNegatives, 7, 0, "Allow Negatives :"),
    KIVO_SETTING(mixRed, 9, 255, "Mix RGB :"),
    KIVO_SETTING(mixGreen, 10, 255, "Mix RGB :"),
    KIVO_SETTING(mixBlue, 11, 255, "Mix RGB :"),
    KIVO_SETTING(effect, 8, 0, "Fade using :"),
    KIVO_SETTING(filmQuality, 12, 0, "B&W Quality :"),
    KIVO_SETTING(sprocketJump, 13, 0, "Sprocket Jump"),
    KIVO_SETTING(whiteOut, 14, 0, "White-out"),
    KIVO_SETTING(sepia, 15, 0, "Sepia Colourise"),
    KIVO_SETTING(vignette, 16, 0, "Vignette Effect"),
    KIVO_SETTING(outOfFocus, 17, 0, "'Out of focus' effect"),
    KIVO_SETTING(focalDisplacement, 18, 1, "Focal Displacement :"),
};

#undef KIVO_SETTING

namespace settings_detail {
constexpr bool memoryOrderMatches() {
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettings[i].memoryIndex != static_cast<size_t>(i)) return false;
    return true;
}
static_assert(memoryOrderMatches(), "the table lists the settings in memory order");

struct StoredOrder {
    size_t index[kSettingCount];
    constexpr StoredOrder() : index{} {
        for (int i = 0; i < kSettingCount; ++i)
            index[kSettings[i].storedPosition - 1] = kSettings[i].memoryIndex;
    }
};
} // namespace settings_detail

// Memory indices of the settings in stored order.
inline constexpr settings_detail::StoredOrder kStoredOrderTable;
inline constexpr const size_t (&kStoredOrder)[kSettingCount] = kStoredOrderTable.index;

inline int32_t &settingField(MixerInstance &instance, size_t memoryIndex) {
    return reinterpret_cast<int32_t *>(&instance)[memoryIndex];
}
inline int32_t settingField(const MixerInstance &instance, size_t memoryIndex) {
    return reinterpret_cast<const int32_t *>(&instance)[memoryIndex];
}

// The setting with this name, or null.
const SettingInfo *findSetting(const char *name);

#endif
