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

// The film value from a pixel's luminance and its block's grain through
// white-out, the dust flash, the flicker, a scratch line and the overflow:
// everything of the value but the blackout, the smear and the vignette.
struct FilmValue {
    bool dusty = false; // " Old'n'Dusty ": dust flashes, flicker and scratch lines
    bool whiteOut = false;
    bool flickers = false; // the frame's flickerValue is divisible by 3
    uint16_t flickerValue = 0;

    FilmValue(const MixerInstance &instance, const FrameState &frame);

    static constexpr uint16_t kDustFlashRoll = 152;

    // flash: the block has a dust flash (counts only when dusty); scratched:
    // the pixel lies on a scratch line whose roll is not 3 (likewise).
    uint8_t operator()(int32_t luminance, uint16_t grainValue, bool flash, bool scratched) const {
        // The film value wraps modulo 65536 and compares unsigned.
        uint16_t v = static_cast<uint16_t>(grainValue + luminance);
        if (whiteOut) v = static_cast<uint16_t>(v + v);
        if (dusty) {
            if (flash) v = static_cast<uint16_t>(mixChannel(v, 2 * flickerValue, 0.5));
            if (flickers) v = static_cast<uint16_t>(whiteOut ? v - flickerValue : v + flickerValue);
            if (scratched) v = static_cast<uint16_t>(mixChannel(v, 16, 0.9));
        }
        if (v > 255) v = static_cast<uint16_t>(255 - grainValue);
        return static_cast<uint8_t>(v);
    }
};

// What the film look fixes for one frame: its options, the scratch columns,
// the centre and, by film grey, the blend rows towards each channel's target
// (the grey itself or its sepia tint). Prepares the vignette table and the
// smear when the frame uses them; tables.blend must have been reset to the
// frame's fade amount.
struct FilmFrame {
    FilmFrame(const MixerInstance &instance, const FrameState &frame, FrameTables &tables);

    FilmValue value;
    bool sepia;
    bool vignette;
    bool smear; // out of focus with a displacement of at least the least (1)
    int64_t displacement;
    int64_t scratchColumn[kScratchCount]; // the bases moved by the frame's jitter
    int64_t halfWidth;
    int64_t halfHeight;
    const uint8_t *targetRows[3][256];
};

// What the film rule reads that stays fixed for one visit of a source row.
struct FilmRow {
    const uint8_t *red = nullptr;
    const uint8_t *green = nullptr;
    const uint8_t *blue = nullptr;
    int64_t y = 0;
    bool blackout = false;  // a jumped frame's last three rows
    bool vignetted = false; // the vignette darkens this row
    int64_t centreY = 0;    // y - H/2
    const uint32_t *vignetteCodes = nullptr; // by |x - W/2|; null: computed per pixel
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
        if (film_.value.dusty) {
            // x0 <= column < xEnd, as one unsigned comparison per column.
            const uint64_t length = static_cast<uint64_t>(xEnd - x0);
            for (int i = 0; i < kScratchCount; ++i)
                scratched_ |= static_cast<uint64_t>(film_.scratchColumn[i] - x0) < length;
        }
    }
    // The scratch rolls of a row visit that is not computed.
    void skipRow(int64_t x0, int64_t xEnd, HeldRandom &random) const {
        if (!film_.value.dusty || !scratched_) return;
        for (int64_t x = x0; x < xEnd; ++x)
            if (onScratchColumn(x)) random.next();
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
    // The film value of column x from its luminance, clamped to a grey.
    uint8_t filmGrey(int32_t luminance, BlockValues block, bool blackout, int64_t x, HeldRandom &random) const;

    bool onScratchColumn(int64_t x) const {
        bool hit = false;
        for (int i = 0; i < kScratchCount; ++i) hit |= film_.scratchColumn[i] == x;
        return hit;
    }

    const FrameState &frame_;
    FrameTables &tables_;
    FilmFrame film_;
    FilmRow row_;
    BlockValues block_;
    bool scratched_ = false; // a scratch column lies in the block's columns
};

inline uint8_t FilmRule::filmGrey(int32_t luminance, BlockValues block, bool blackout, int64_t x,
                                  HeldRandom &random) const {
    // The scratch roll is drawn on the blackout rows too.
    const bool scratched = film_.value.dusty && scratched_ && onScratchColumn(x) && halveWhileAbove(random.next(), 6) != 3;
    if (blackout) return 0;
    return film_.value(luminance, block.grainValue, block.dustRoll == FilmValue::kDustFlashRoll, scratched);
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
    if (film_.smear) grey = tables_.outOfFocus.smear(grey, row.smearRow, row.y, row.red, row.green, row.blue, x);
    if (row.vignetted) {
        const int64_t centreX = x - film_.halfWidth;
        grey = vignetted(grey, row.vignetteCodes, centreX, row.centreY, frame_.vignetteStep);
    }

    colourOut[0] = film_.targetRows[0][grey][red];
    colourOut[1] = film_.targetRows[1][grey][green];
    colourOut[2] = film_.targetRows[2][grey][blue];
}

inline void FilmRule::beginRow(int64_t y, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
    FilmRow &row = row_;
    row.red = red;
    row.green = green;
    row.blue = blue;
    row.y = y;
    if (film_.smear) row.smearRow = tables_.outOfFocus.rowSlot(y);
    row.blackout = frame_.jumpFlag && y > static_cast<int64_t>(frame_.height) - 4;
    if (film_.vignette) {
        row.centreY = y - film_.halfHeight;
        // Only frames more than twice as tall as wide have rows beyond the width.
        row.vignetted = static_cast<double>(row.centreY * row.centreY) <= frame_.widthSquared;
        row.vignetteCodes = row.vignetted ? tables_.vignette.row(row.centreY) : nullptr;
    }
}

#endif
