// The film look's out-of-focus smear: a film value is blended by 0.4 with
// the smear luminance of the source pixels d, 2d, ... columns to its left,
// nearest first, down to column d + 1.
#ifndef KIVO_PROCESS_OUT_OF_FOCUS_H
#define KIVO_PROCESS_OUT_OF_FOCUS_H

#include <cstdint>

#include "process/luminance.h"

// mixChannel(v, luminance, 0.4) for v and luminance in 0..255.
class SmearSteps {
public:
    uint8_t step(uint8_t v, int32_t luminance) const { return results_[luminance][v]; }
    // Filled on the first call; the amount never changes.
    static const SmearSteps &get();

private:
    uint8_t results_[256][256];
};

// v smeared at column x of a row; d is at least 1.
inline uint8_t smearDirect(uint8_t v, const uint8_t *red, const uint8_t *green, const uint8_t *blue, int64_t x,
                           int64_t d, const SmearSteps &steps) {
    for (int64_t k = x - d; k > d; k -= d) v = steps.step(v, smearLuminance(red[k], green[k], blue[k]));
    return v;
}

#endif
