// The picture the benchmarks filter: a frame of ramps and a diagonal pattern,
// opaque, 1920 x 1080 unless another size is asked for. The last size asked
// for is kept, so a run of one size makes it once.
#ifndef KIVO_BENCH_BENCH_PICTURE_H
#define KIVO_BENCH_BENCH_PICTURE_H

#include <cstdint>

#include "host/core/rgba_image.h"

namespace kivo::bench {

inline constexpr int32_t kWidth = 1920;
inline constexpr int32_t kHeight = 1080;

inline const host::RgbaImage &picture(int32_t width = kWidth, int32_t height = kHeight) {
    static host::RgbaImage image;
    if (image.width == width && image.height == height) return image;
    image = host::RgbaImage(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t *px = image.at(x, y);
            px[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            px[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            px[2] = static_cast<uint8_t>((x * 7 + y * 13) & 255);
            px[3] = 255;
        }
    return image;
}

} // namespace kivo::bench

#endif
