// The tables the frame pass fills for a frame, under one owner: the blend
// table of the frame's fade amount, the vignette quadrant and the smear
// chains. The module processes one frame at a time, so one set serves every
// frame: it lives while the module is loaded, in static storage (no frame
// allocates), and each frame prepares the tables it uses before its walk.
#ifndef KIVO_PROCESS_FRAME_TABLES_H
#define KIVO_PROCESS_FRAME_TABLES_H

#include "process/blend_table.h"
#include "process/out_of_focus.h"
#include "process/vignette_table.h"

struct FrameTables {
    BlendTable blend;
    VignetteTable vignette;
    OutOfFocus outOfFocus;

    static FrameTables &forModule();
};

#endif
