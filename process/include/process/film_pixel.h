// The "B&W Film" look: a grey film value from the pixel's luminance and the
// block's grain, aged and tinted by the film options, then blended with the
// rendered colour by the frame's fade amount.
#ifndef KIVO_PROCESS_FILM_PIXEL_H
#define KIVO_PROCESS_FILM_PIXEL_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "process/frame_state.h"
#include "process/frame_tables.h"
#include "process/luminance.h"
#include "process/mix_channel.h"
#include "process/out_of_focus.h"
#include "process/random_generator.h"
#include "process/vignette_table.h"

// What the film rule reads that stays fixed for one visit of a source row.
struct FilmRow {
    const uint8_t *red = nullptr;
    const uint8_t *green = nullptr;
    const uint8_t *blue = nullptr;
    int64_t y = 0;
    bool blackout = false;  // a jumped frame's last three rows
    bool vignetted = false; // the vignette darkens this row
    int64_t centreY = 0;    // y - H/2
    const double *vignetteAmounts = nullptr; // by |x - W/2|; null: computed per pixel
    SmearRow *smearRow = nullptr;            // null: smeared sample by sample
};

// The film look's pixel rule for one frame: its options from the instance,
// the frame's record, and the tables it prepares and reads.
class FilmRule {
public:
    // Prepares the vignette table and the smear when the frame uses them;
    // tables.blend must have been reset to the frame's fade amount.
    FilmRule(const MixerInstance &instance, const FrameState &frame, FrameTables &tables);

    // The film's grain is finer than the other looks': the block's drawn
    // value is halved on down to 0..24.
    static uint32_t grainOf(uint32_t drawn) { return halveWhileAbove(drawn, 24); }

    // The block covers columns x0..xEnd-1.
    void beginBlock(BlockValues block, int64_t x0, int64_t xEnd) {
        block_ = block;
        scratched_ = false;
        if (dusty_) {
            // x0 <= column < xEnd, as one unsigned comparison per column.
            const uint64_t length = static_cast<uint64_t>(xEnd - x0);
            for (int i = 0; i < kScratchCount; ++i)
                scratched_ |= static_cast<uint64_t>(scratchColumn_[i] - x0) < length;
        }
    }
    // Reads the frame's jump flag as the sprocket test left it for this row.
    void beginRow(int64_t y, const uint8_t *red, const uint8_t *green, const uint8_t *blue);
    // Draws from random (a scratch roll) when x lies on a scratch column.
    [[gnu::always_inline]] void pixel(int64_t x, uint8_t colourOut[3], HeldRandom &random) const;
    // The same, drawing from the module's generator.
    void pixel(int64_t x, uint8_t colourOut[3]) const {
        HeldRandom random;
        pixel(x, colourOut, random);
    }

private:
    static constexpr uint16_t kDustFlashRoll = 152;

    // The film value of column x from its luminance, clamped to a grey.
    uint8_t filmGrey(int32_t luminance, BlockValues block, bool blackout, int64_t x, HeldRandom &random) const;

    bool onScratchColumn(int64_t x) const {
        bool hit = false;
        for (int i = 0; i < kScratchCount; ++i) hit |= scratchColumn_[i] == x;
        return hit;
    }

    const FrameState &frame_;
    FrameTables &tables_;
    bool dusty_;     // " Old'n'Dusty ": dust flashes, flicker, scratch lines
    bool whiteOut_;
    bool sepia_;
    bool vignette_;
    bool smear_;     // out of focus with a displacement of at least the least (1)
    bool flickers_;  // flickerValue divisible by 3
    int64_t scratchColumn_[kScratchCount]; // the bases moved by the frame's jitter
    int64_t halfWidth_;
    int64_t halfHeight_;
    FilmRow row_;
    BlockValues block_;
    bool scratched_ = false; // a scratch column lies in the block's columns
    // By film grey: the blend rows towards each channel's target, the grey
    // itself or its sepia tint.
    const uint8_t *targetRows_[3][256];
};

inline uint8_t FilmRule::filmGrey(int32_t luminance, BlockValues block, bool blackout, int64_t x,
                                  HeldRandom &random) const {
    // The film value wraps modulo 65536 and compares unsigned.
    uint16_t v = static_cast<uint16_t>(block.grainValue + luminance);
    if (whiteOut_) v = static_cast<uint16_t>(v + v);
    if (dusty_) {
        if (block.dustRoll == kDustFlashRoll) v = static_cast<uint16_t>(mixChannel(v, 2 * frame_.flickerValue, 0.5));
        if (flickers_)
            v = static_cast<uint16_t>(whiteOut_ ? v - frame_.flickerValue : v + frame_.flickerValue);
        if (scratched_ && onScratchColumn(x) && halveWhileAbove(random.next(), 6) != 3)
            v = static_cast<uint16_t>(mixChannel(v, 16, 0.9));
    }
    if (blackout) v = 0;
    if (v > 255) v = static_cast<uint16_t>(255 - block.grainValue);
    return static_cast<uint8_t>(v);
}

// Fills colourOut for column x of the row. Draws one scratchRoll when the
// frame is dusty and x lies on a scratch column.
inline void FilmRule::pixel(int64_t x, uint8_t colourOut[3], HeldRandom &random) const {
    const FilmRow &row = row_;
    const BlockValues block = block_;
    const uint8_t red = row.red[x];
    const uint8_t green = row.green[x];
    const uint8_t blue = row.blue[x];

    const int32_t luminance = pixelLuminance(red, green, blue);
    uint8_t grey = filmGrey(luminance, block, row.blackout, x, random);
    if (smear_) grey = tables_.outOfFocus.smear(grey, row.smearRow, row.y, row.red, row.green, row.blue, x);
    if (row.vignetted) {
        const int64_t centreX = x - halfWidth_;
        const double amount = row.vignetteAmounts != nullptr
                                  ? row.vignetteAmounts[centreX < 0 ? -centreX : centreX]
                                  : vignetteAmount(centreX, row.centreY, frame_.vignetteStep);
        grey = static_cast<uint8_t>(mixChannelOfModerate(grey, 16, amount)); // amount is 0..1
    }

    colourOut[0] = targetRows_[0][grey][red];
    colourOut[1] = targetRows_[1][grey][green];
    colourOut[2] = targetRows_[2][grey][blue];
}

inline void FilmRule::beginRow(int64_t y, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
    FilmRow &row = row_;
    row.red = red;
    row.green = green;
    row.blue = blue;
    row.y = y;
    if (smear_) row.smearRow = tables_.outOfFocus.rowSlot(y);
    row.blackout = frame_.jumpFlag && y > static_cast<int64_t>(frame_.height) - 4;
    if (vignette_) {
        row.centreY = y - halfHeight_;
        // Only frames more than twice as tall as wide have rows beyond the width.
        row.vignetted = static_cast<double>(row.centreY * row.centreY) <= frame_.widthSquared;
        row.vignetteAmounts = row.vignetted ? tables_.vignette.row(row.centreY) : nullptr;
    }
}

#endif
