// An interleaved 8-bit RGBA image, the host's frame buffer.
#ifndef KIVO_HOST_CORE_RGBA_IMAGE_H
#define KIVO_HOST_CORE_RGBA_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::host {

struct RgbaImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels; // width * height * 4 bytes, rows top to bottom

    RgbaImage() = default;
    RgbaImage(int32_t w, int32_t h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 0) {}

    uint8_t *at(int32_t x, int32_t y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t *at(int32_t x, int32_t y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
    bool operator==(const RgbaImage &) const = default;
};

} // namespace kivo::host

#endif
