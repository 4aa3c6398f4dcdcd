// The "Static", "RGB" and "Negative" looks. Each channel of a pixel is
// looked up in a table of mixChannel results for the frame's fade amount.
#ifndef KIVO_PROCESS_SIMPLE_LOOKS_H
#define KIVO_PROCESS_SIMPLE_LOOKS_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "instance/settings_table.h"
#include "process/blend_table.h"
#include "process/frame_state.h"

enum class Look { Static, Rgb, Film, Negative };

// As the settings table says: every effect value without a name is "Negative".
inline Look lookOf(int32_t effect) {
    switch (actingValue(settingOf(&MixerInstance::effect).facts, effect)) {
    case EFFECT_STATIC: return Look::Static;
    case EFFECT_RGB: return Look::Rgb;
    case EFFECT_FILM: return Look::Film;
    default: return Look::Negative;
    }
}

class SimpleLook {
public:
    // look is Static, Rgb or Negative.
    void prepare(Look look, const MixerInstance &instance, double fadeAmount, BlendTable &blend);

    // "Static" blends towards the block's grey.
    void beginBlock(BlockValues block) {
        if (look_ == Look::Static) red_ = green_ = blue_ = blend_->filled(static_cast<uint8_t>(block.grainValue));
    }

    void pixel(uint8_t red, uint8_t green, uint8_t blue, uint8_t colourOut[3]) const {
        colourOut[0] = red_[red];
        colourOut[1] = green_[green];
        colourOut[2] = blue_[blue];
    }

    // Columns begin..end-1 of a row into results, three bytes a column from
    // results + 3 * begin; "Static" reads each column's grain from grains.
    void row(const uint8_t *red, const uint8_t *green, const uint8_t *blue, const uint8_t *grains, int64_t begin,
             int64_t end, uint8_t *results) const;

private:
    Look look_ = Look::Static;
    BlendTable *blend_ = nullptr;
    const uint8_t *red_ = nullptr;
    const uint8_t *green_ = nullptr;
    const uint8_t *blue_ = nullptr;
    uint8_t rows_[3][256] = {}; // RGB: one row per channel; Negative: row 0
};

#endif
