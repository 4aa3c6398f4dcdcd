// Values that live for one frame or one grain block of the frame pass.
#ifndef KIVO_PROCESS_FRAME_VALUES_H
#define KIVO_PROCESS_FRAME_VALUES_H

#include <cstdint>

inline constexpr int kScratchCount = 6;

struct FrameValues {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t scratchJitter[kScratchCount] = {}; // 0..16, drawn before seeding
    double fadeAmount = 0.0;
    uint16_t flickerValue = 0; // 0..24
    int32_t jumpRoll = 0;      // 0..16
    bool jumpFlag = false;     // set once by the sprocket test, then kept
};

// Shared by every pixel of one grain block.
struct BlockValues {
    uint16_t grainValue = 0; // 0..255, or 0..24 in the film look
    uint16_t dustRoll = 0;   // 0..300
};

#endif
