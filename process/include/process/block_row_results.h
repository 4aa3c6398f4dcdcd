// The colours of a block row, three bytes a pixel, for the rules the walk
// hands whole block rows. Each source row is computed across the frame at its
// first visit, in the block row's first block, and the later blocks' visits
// only return what was computed. A visit whose fetched rows are not those of
// the first visit computes its own columns from the rows it was given, and a
// block row too large to keep is computed visit by visit. A block row of one
// row is always kept: a visit with the first visit's rows finds its colours
// where the first visit's colours began, three bytes a column on.
#ifndef KIVO_PROCESS_BLOCK_ROW_RESULTS_H
#define KIVO_PROCESS_BLOCK_ROW_RESULTS_H

#include <algorithm>
#include <cstdint>

#include "process/frame_tables.h"

class BlockRowResults {
    static_assert(3 * BlockRowBuffers::kMaxColumns <= BlockRowBuffers::kResultBytes);

public:
    using Rows = BlockRowBuffers::Rows;

    BlockRowResults(BlockRowBuffers &buffers, int64_t width) : buffers_(buffers), width_(width) {}

    // A block row of `rows` source rows begins.
    void begin(int64_t rows) {
        stored_ = rows <= BlockRowBuffers::kMaxStoredRows && rows * width_ * 3 <= BlockRowBuffers::kResultBytes;
        if (stored_) std::fill(buffers_.fetched, buffers_.fetched + rows, Rows{});
    }

    // The colours of columns x0..xEnd-1 of the block row's row dy, visited in
    // block `block` with these rows. compute(dy, rows, begin, end, results)
    // writes columns begin..end-1 from results + 3 * begin.
    template <class Compute>
    const uint8_t *visit(int64_t block, int64_t dy, int64_t x0, int64_t xEnd, Rows rows, Compute &&compute) {
        if (!stored_) {
            compute(dy, rows, x0, xEnd, buffers_.results);
            return buffers_.results + x0 * 3;
        }
        uint8_t *results = buffers_.results + dy * width_ * 3;
        Rows &first = buffers_.fetched[dy];
        if (block == 0) {
            first = rows;
            compute(dy, rows, 0, width_, results);
        } else if (first.red != rows.red || first.green != rows.green || first.blue != rows.blue) {
            compute(dy, rows, x0, xEnd, results);
        }
        return results + x0 * 3;
    }

private:
    BlockRowBuffers &buffers_;
    int64_t width_;
    bool stored_ = false;
};

#endif
