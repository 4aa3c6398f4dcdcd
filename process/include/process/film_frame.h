// Film constants computed from the frame width at the start of every frame,
// and the sprocket jump test made at every row visit.
#ifndef KIVO_PROCESS_FILM_FRAME_H
#define KIVO_PROCESS_FILM_FRAME_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "process/frame_values.h"

struct FilmConstants {
    // W/6, W/6 + 8, W/6 + 11, (W/4)*3, W - 8, W/2; 64-bit so that no width overflows.
    int64_t scratchBase[kScratchCount];
    double widthSquared; // W * W
    double vignetteStep; // 3.1416 / W, 0 for a frame without columns
};

FilmConstants prepareFilmFrame(int32_t width);

// Sets jumpFlag at a row below row 3 when the jump is on and the frame's
// jumpRoll is 3 or 12. Never clears it.
inline void testSprocketJump(const MixerInstance &instance, int64_t y, int32_t jumpRoll, bool &jumpFlag) {
    if (instance.sprocketJump != 0 && y > 3 && (jumpRoll == 3 || jumpRoll == 12)) jumpFlag = true;
}

#endif
