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
