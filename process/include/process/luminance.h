// The film look's two luminance sums. Each adds its terms in its own order
// in double precision and truncates, so they differ: grey 1 gives 0 and 1.
#ifndef KIVO_PROCESS_LUMINANCE_H
#define KIVO_PROCESS_LUMINANCE_H

#include <cstdint>

inline int32_t pixelLuminance(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<int32_t>((0.3 * red + 0.59 * green) + 0.11 * blue);
}

inline int32_t smearLuminance(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<int32_t>((0.11 * blue + 0.3 * red) + 0.59 * green);
}

#endif
