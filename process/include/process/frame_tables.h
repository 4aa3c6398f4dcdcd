// The tables the frame pass fills for a frame, under one owner: the blend
// table of the frame's fade amount, the vignette quadrant, the smear chains
// and the film look's working rows. The module processes one frame at a time, so one set serves every
// frame: it lives while the module is loaded, in static storage (no frame
// allocates), and each frame prepares the tables it uses before its walk.
#ifndef KIVO_PROCESS_FRAME_TABLES_H
#define KIVO_PROCESS_FRAME_TABLES_H

#include <cstdint>

#include "process/blend_table.h"
#include "process/out_of_focus.h"
#include "process/vignette_table.h"

// The working rows of the looks computed a block row at a time (FilmRows,
// SimpleRows) for frames up to kMaxColumns wide, and one block row's results.
struct BlockRowBuffers {
    static constexpr int64_t kMaxColumns = 16384;
    static constexpr int64_t kResultBytes = int64_t{4} << 20;
    static constexpr int64_t kMaxStoredRows = 4096;
    static constexpr int kGrains = 25; // film grain values 0..24

    struct Rows {
        const uint8_t *red = nullptr;
        const uint8_t *green = nullptr;
        const uint8_t *blue = nullptr;
    };

    // By column, the row of filmValues of its block: (dust flash * 25 + grain) * 256.
    uint16_t filmIndex[kMaxColumns];
    uint16_t blockIndex[kMaxColumns]; // the same by block, for grains wider than a column
    uint8_t grains[kMaxColumns];         // "Static": by column, its block's grain value
    uint8_t grey[kMaxColumns];           // the film values of the row being computed
    uint8_t smearLuminance[kMaxColumns]; // its source pixels' smear luminances
    uint8_t filmValues[2 * kGrains * 256]; // by dust flash, grain and luminance
    Rows fetched[kMaxStoredRows];          // the rows each stored row was computed from
    uint8_t results[kResultBytes];
};

struct FrameTables {
    BlendTable blend;
    VignetteTable vignette;
    OutOfFocus outOfFocus;
    BlockRowBuffers blockRows;

    static FrameTables &forModule();
};

#endif
