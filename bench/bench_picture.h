// The picture both benchmarks filter: a 1920 x 1080 frame of ramps and a
// diagonal pattern, opaque, made once.
#ifndef KIVO_BENCH_BENCH_PICTURE_H
#define KIVO_BENCH_BENCH_PICTURE_H

#include <cstdint>

#include "host/core/rgba_image.h"

namespace kivo::bench {

inline constexpr int32_t kWidth = 1920;
inline constexpr int32_t kHeight = 1080;

inline const host::RgbaImage &picture() {
    static const host::RgbaImage image = [] {
        host::RgbaImage p(kWidth, kHeight);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                uint8_t *px = p.at(x, y);
                px[0] = static_cast<uint8_t>(x * 255 / (kWidth - 1));
                px[1] = static_cast<uint8_t>(y * 255 / (kHeight - 1));
                px[2] = static_cast<uint8_t>((x * 7 + y * 13) & 255);
                px[3] = 255;
            }
        return p;
    }();
    return image;
}

} // namespace kivo::bench

#endif
