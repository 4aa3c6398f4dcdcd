// The film look a block row at a time, for frames up to kMaxColumns wide.
//
// What a block row draws follows from the frame's geometry alone: each
// block's grain value and dust roll, then, for each of its rows, a scratch
// roll for each scratch column inside it. So the values of a whole block row
// are drawn when it begins, and each source row is computed across the frame
// (BlockRowResults) in tight loops, step by step over the row, with the
// smear's chains run left to right.
#ifndef KIVO_PROCESS_FILM_ROWS_H
#define KIVO_PROCESS_FILM_ROWS_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "process/block_row_results.h"
#include "process/film_pixel.h"
#include "process/frame_state.h"
#include "process/frame_tables.h"
#include "process/random_generator.h"

class FilmRows {
public:
    // The walk hands this rule whole block rows (see walkBlocks).
    static constexpr bool kByBlockRow = true;
    static bool fits(int32_t width) { return width <= BlockRowBuffers::kMaxColumns; }

    // For a frame that fits; tables.blend must have been reset to the frame's
    // fade amount.
    FilmRows(const MixerInstance &instance, const FrameState &frame, FrameTables &tables);

    // Draws the values of the block row of source rows y0..yEnd-1.
    void beginBlockRow(int64_t y0, int64_t yEnd, HeldRandom &random);

    // The colours of columns x0..xEnd-1 of source row y, visited in the
    // block row's block `block` with these rows: three bytes a pixel.
    const uint8_t *visit(int64_t block, int64_t y, int64_t x0, int64_t xEnd, const uint8_t *red,
                         const uint8_t *green, const uint8_t *blue) {
        return results_.visit(block, y - y0_, x0, xEnd, {red, green, blue},
                              [this, y](int64_t dy, BlockRowBuffers::Rows rows, int64_t begin, int64_t end,
                                        uint8_t *results) { computeColumns(y, dy, rows, begin, end, results); });
    }

private:
    // A scratch column inside the frame, and where its rolls come in the
    // draws of its block.
    struct Scratch {
        int64_t column = 0;
        uint32_t firstState = 0; // the generator before the block's first roll
        int64_t perRow = 0;      // scratch columns in the block
        int64_t order = 0;       // this one's place among them
    };

    // Columns begin..end-1 of source row y (row dy of the block row) into
    // results, three bytes a column from results + 3 * begin.
    void computeColumns(int64_t y, int64_t dy, BlockRowBuffers::Rows rows, int64_t begin, int64_t end,
                        uint8_t *results);

    FrameTables &tables_;
    BlockRowBuffers &buffers_;
    FilmFrame film_;
    int64_t width_;
    int64_t height_;
    int64_t grainWidth_;
    bool jumps_;
    double widthSquared_;
    int scratchCount_ = 0;
    Scratch scratches_[kScratchCount]; // by column, each column once
    BlockRowResults results_;
    int64_t y0_ = 0;
};

#endif
