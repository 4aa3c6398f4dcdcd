// The "Static", "RGB" and "Negative" looks a block row at a time, for
// frames up to kMaxColumns wide. Each block draws twice, and only "Static"
// uses a draw (the first, its grain), so a block row's draws are made when
// it begins and each source row is computed across the frame at once
// (BlockRowResults).
#ifndef KIVO_PROCESS_SIMPLE_ROWS_H
#define KIVO_PROCESS_SIMPLE_ROWS_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "process/block_row_results.h"
#include "process/frame_state.h"
#include "process/frame_tables.h"
#include "process/random_generator.h"
#include "process/simple_looks.h"

class SimpleRows {
public:
    // The walk hands this rule whole block rows (see walkBlocks).
    static constexpr bool kByBlockRow = true;
    static bool fits(int32_t width) { return width <= BlockRowBuffers::kMaxColumns; }

    // look must have been prepared for the frame, which must fit.
    SimpleRows(const SimpleLook &look, bool drawsGrains, const MixerInstance &instance, const FrameState &frame,
               BlockRowBuffers &buffers);

    void beginBlockRow(int64_t y0, int64_t yEnd, HeldRandom &random);

    const uint8_t *visit(int64_t block, int64_t y, int64_t x0, int64_t xEnd, const uint8_t *red,
                         const uint8_t *green, const uint8_t *blue) {
        return results_.visit(block, y - y0_, x0, xEnd, {red, green, blue},
                              [this](int64_t, BlockRowBuffers::Rows rows, int64_t begin, int64_t end,
                                     uint8_t *results) {
                                  look_.row(rows.red, rows.green, rows.blue, buffers_.grains, begin, end, results);
                              });
    }

private:
    const SimpleLook &look_;
    BlockRowBuffers &buffers_;
    bool drawsGrains_;
    int64_t width_;
    int64_t grainWidth_;
    BlockRowResults results_;
    int64_t y0_ = 0;
};

#endif
