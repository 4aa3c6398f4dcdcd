#include "process/simple_looks.h"

#include "process/mix_channel.h"

void SimpleLook::prepare(Look look, const MixerInstance &instance, double fadeAmount, BlendTable &blend) {
    look_ = look;
    blend_ = &blend;
    switch (look) {
    case Look::Static: blend.fillAll(); break; // grains meet every target: per block, from the blend table
    case Look::Rgb:
        // The targets may lie outside 0..255; mixChannel bounds the results.
        fillBlendRow(rows_[0], instance.mixRed, fadeAmount);
        fillBlendRow(rows_[1], instance.mixGreen, fadeAmount);
        fillBlendRow(rows_[2], instance.mixBlue, fadeAmount);
        red_ = rows_[0];
        green_ = rows_[1];
        blue_ = rows_[2];
        break;
    default: // Negative
        for (int32_t from = 0; from < 256; ++from)
            rows_[0][from] = static_cast<uint8_t>(mixChannel(from, 255 - from, fadeAmount));
        red_ = green_ = blue_ = rows_[0];
        break;
    }
}

void SimpleLook::row(const uint8_t *red, const uint8_t *green, const uint8_t *blue, const uint8_t *grains,
                     int64_t begin, int64_t end, uint8_t *results) const {
    // The tables in locals: the stores below could otherwise alias them.
    uint8_t *out = results + begin * 3;
    if (look_ == Look::Static) {
        const BlendTable &blend = *blend_;
#pragma GCC unroll 4
        for (int64_t x = begin; x < end; ++x, out += 3) {
            const uint8_t *towards = blend.filled(grains[x]);
            out[0] = towards[red[x]];
            out[1] = towards[green[x]];
            out[2] = towards[blue[x]];
        }
        return;
    }
    const uint8_t *const toRed = red_;
    const uint8_t *const toGreen = green_;
    const uint8_t *const toBlue = blue_;
#pragma GCC unroll 4
    for (int64_t x = begin; x < end; ++x, out += 3) {
        out[0] = toRed[red[x]];
        out[1] = toGreen[green[x]];
        out[2] = toBlue[blue[x]];
    }
}
