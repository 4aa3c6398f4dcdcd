// The one record of a frame's values: what the host hands over, what the
// generator draws for the frame, the sprocket jump once it happens, and what
// follows from the width. Filled at the start of the frame; only jumpFlag
// changes during it.
#ifndef KIVO_PROCESS_FRAME_STATE_H
#define KIVO_PROCESS_FRAME_STATE_H

#include <cstdint>

#include "instance/mixer_instance.h"

inline constexpr int kScratchCount = 6;

struct FrameState {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t scratchJitter[kScratchCount] = {}; // 0..16, drawn before seeding
    double fadeAmount = 0.0;
    uint16_t flickerValue = 0; // 0..24
    int32_t jumpRoll = 0;      // 0..16
    bool jumpFlag = false;     // set once by the sprocket test, then kept

    // From the width, by measureFrame. W/6, W/6 + 8, W/6 + 11, (W/4)*3,
    // W - 8, W/2; 64-bit so that no width overflows.
    int64_t scratchBase[kScratchCount] = {};
    double widthSquared = 0.0; // W * W
    double vignetteStep = 0.0; // 3.1416 / W, 0 for a frame without columns
};

// Fills the values that follow from frame.width.
void measureFrame(FrameState &frame);

// Shared by every pixel of one grain block.
struct BlockValues {
    uint16_t grainValue = 0; // 0..255, or 0..24 in the film look
    uint16_t dustRoll = 0;   // 0..300
};

// Whether the frame jumps: the jump is on and the frame's jumpRoll is 3 or
// 12. The jump flag is then set at the first row visit below row 3 and
// kept.
inline bool jumpsThisFrame(const MixerInstance &instance, const FrameState &frame) {
    return instance.sprocketJump != 0 && (frame.jumpRoll == 3 || frame.jumpRoll == 12);
}

#endif
