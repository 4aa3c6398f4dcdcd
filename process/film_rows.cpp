#include "process/film_rows.h"

#include <algorithm>
#include <bit>

#include "process/block_walk.h"
#include "process/luminance.h"
#include "process/out_of_focus.h"
#include "process/vignette_table.h"

FilmRows::FilmRows(const MixerInstance &instance, const FrameState &frame, FrameTables &tables)
    : tables_(tables), buffers_(tables.blockRows), film_(instance, frame, tables), width_(frame.width),
      height_(frame.height), grainWidth_(grainWidthOf(instance)), jumps_(jumpsThisFrame(instance, frame)),
      widthSquared_(frame.widthSquared), results_(buffers_, width_) {
    // The film values off the scratch lines, by dust flash, grain and
    // luminance; a dust flash counts only in a dusty frame.
    constexpr int kGrains = BlockRowBuffers::kGrains;
    for (int flash = 0; flash < 2; ++flash)
        for (int grain = 0; grain < kGrains; ++grain)
            for (int32_t luminance = 0; luminance < 256; ++luminance)
                buffers_.filmValues[(flash * kGrains + grain) * 256 + luminance] =
                    film_.value(luminance, static_cast<uint16_t>(grain), flash != 0, false);

    // The scratch columns inside the frame, each once, left to right.
    if (film_.value.dusty) {
        for (int64_t column : film_.scratchColumn) {
            if (column < 0 || column >= width_) continue;
            int at = 0;
            while (at < scratchCount_ && scratches_[at].column < column) ++at;
            if (at < scratchCount_ && scratches_[at].column == column) continue;
            std::copy_backward(scratches_ + at, scratches_ + scratchCount_, scratches_ + scratchCount_ + 1);
            scratches_[at] = Scratch{};
            scratches_[at].column = column;
            ++scratchCount_;
        }
    }
}

namespace {

// The block's row of film values from its two draws, without branches.
// Halving the grain's draw down to 255 and then on to 24 is halving it down
// to 24: shifted to 5 bits it is 16..31, and once more when above 24. The
// dust roll halves down to 152 exactly when the draw's leading 8 bits are
// 152 (152 has 8 bits, and twice it is above 300).
inline uint16_t filmIndexOf(uint32_t grainDraw, uint32_t dustDraw, bool dusty) {
    const uint32_t fiveBits = leadingBits<5>(grainDraw);
    const uint32_t grain = fiveBits >> (fiveBits > 24 ? 1 : 0);
    static_assert(std::bit_width(unsigned{FilmValue::kDustFlashRoll}) == 8 && 2 * FilmValue::kDustFlashRoll > 300);
    const bool flash = dusty && leadingBits<8>(dustDraw) == FilmValue::kDustFlashRoll;
    return static_cast<uint16_t>(((flash ? BlockRowBuffers::kGrains : 0) + grain) * 256);
}

} // namespace

void FilmRows::beginBlockRow(int64_t y0, int64_t yEnd, HeldRandom &random) {
    const int64_t rows = yEnd - y0;
    y0_ = y0;
    results_.begin(rows);

    // Block by block: the grain value and the dust roll, then the rolls of
    // the block's scratch columns, row by row, which are taken when their
    // rows are computed. The blocks between scratch columns are drawn in
    // runs, into the film index of their first columns.
    const bool dusty = film_.value.dusty;
    const int64_t blocks = (width_ + grainWidth_ - 1) / grainWidth_;
    uint16_t *const indexes = grainWidth_ == 1 ? buffers_.filmIndex : buffers_.blockIndex;
    int64_t block = 0;
    for (int next = 0; next <= scratchCount_;) {
        const int64_t runEnd = next < scratchCount_ ? scratches_[next].column / grainWidth_ : blocks;
        forEachDrawPair(random.state(), runEnd - block, [&](int64_t i, uint32_t grainDraw, uint32_t dustDraw) {
            indexes[block + i] = filmIndexOf(grainDraw, dustDraw, dusty);
        });
        random.skip(static_cast<uint64_t>(2 * (runEnd - block)));
        block = runEnd;
        if (next == scratchCount_) break;
        // The block of the next scratch columns.
        const uint32_t grainDraw = random.next();
        indexes[block] = filmIndexOf(grainDraw, random.next(), dusty);
        int inBlock = 0;
        while (next + inBlock < scratchCount_ && scratches_[next + inBlock].column / grainWidth_ == block) ++inBlock;
        for (int i = 0; i < inBlock; ++i) {
            Scratch &scratch = scratches_[next + i];
            scratch.firstState = random.state();
            scratch.perRow = inBlock;
            scratch.order = i;
        }
        random.skip(static_cast<uint64_t>(rows * inBlock));
        next += inBlock;
        ++block;
    }
    if (grainWidth_ > 1)
        for (int64_t b = 0; b < blocks; ++b)
            std::fill(buffers_.filmIndex + b * grainWidth_, buffers_.filmIndex + std::min((b + 1) * grainWidth_, width_),
                      indexes[b]);
}

void FilmRows::computeColumns(int64_t y, int64_t dy, BlockRowBuffers::Rows rows, int64_t begin, int64_t end,
                              uint8_t *results) {
    const uint8_t *red = rows.red;
    const uint8_t *green = rows.green;
    const uint8_t *blue = rows.blue;
    uint8_t *grey = buffers_.grey;

    // The film values. The jump flag is set by the first visit below row 3,
    // which comes before any visit of a later row: a jumped frame's last
    // three rows are black wherever they are written.
    if (jumps_ && y > 3 && y > height_ - 4) {
        std::fill(grey + begin, grey + end, uint8_t{0});
    } else {
        const uint16_t *index = buffers_.filmIndex;
        const uint8_t *values = buffers_.filmValues;
        for (int64_t x = begin; x < end; ++x) grey[x] = values[index[x] + pixelLuminance(red[x], green[x], blue[x])];
        for (int i = 0; i < scratchCount_; ++i) {
            const Scratch &scratch = scratches_[i];
            const int64_t x = scratch.column;
            if (x < begin || x >= end) continue;
            const uint32_t before = advanceRandom(scratch.firstState, static_cast<uint64_t>(dy * scratch.perRow + scratch.order));
            const bool scratched = halveWhileAbove(drawAfter(before), 6) != 3;
            const int block = index[x] / 256;
            grey[x] = film_.value(pixelLuminance(red[x], green[x], blue[x]),
                                  static_cast<uint16_t>(block % BlockRowBuffers::kGrains),
                                  block >= BlockRowBuffers::kGrains, scratched);
        }
    }

    if (film_.smear) {
        OutOfFocus &outOfFocus = tables_.outOfFocus;
        if (begin == 0) {
            uint8_t *luminance = buffers_.smearLuminance;
            for (int64_t x = 0; x < end; ++x)
                luminance[x] = static_cast<uint8_t>(smearLuminance(red[x], green[x], blue[x]));
            outOfFocus.smearRow(grey, luminance, end);
        } else {
            const SmearSteps &steps = SmearSteps::get();
            for (int64_t x = begin; x < end; ++x)
                grey[x] = smearDirect(grey[x], red, green, blue, x, film_.displacement, steps);
        }
    }

    if (film_.vignette) {
        const int64_t centreY = y - film_.halfHeight;
        // Only frames more than twice as tall as wide have rows beyond the width.
        if (static_cast<double>(centreY * centreY) <= widthSquared_) tables_.vignette.darken(grey, begin, end, centreY);
    }

    const uint8_t *const *toRed = film_.targetRows[0];
    const uint8_t *const *toGreen = film_.targetRows[1];
    const uint8_t *const *toBlue = film_.targetRows[2];
    uint8_t *out = results + begin * 3;
    for (int64_t x = begin; x < end; ++x, out += 3) {
        out[0] = toRed[grey[x]][red[x]];
        out[1] = toGreen[grey[x]][green[x]];
        out[2] = toBlue[grey[x]][blue[x]];
    }
}
