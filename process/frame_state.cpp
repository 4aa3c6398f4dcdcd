#include "process/frame_state.h"

void measureFrame(FrameState &frame) {
    const int64_t w = frame.width;
    frame.scratchBase[0] = w / 6;
    frame.scratchBase[1] = w / 6 + 8;
    frame.scratchBase[2] = w / 6 + 11;
    frame.scratchBase[3] = (w / 4) * 3;
    frame.scratchBase[4] = w - 8;
    frame.scratchBase[5] = w / 2;
    frame.widthSquared = static_cast<double>(w) * static_cast<double>(w);
    // Only pixels use the step, and a frame without columns has none.
    frame.vignetteStep = frame.width > 0 ? 3.1416 / static_cast<double>(frame.width) : 0.0;
}
