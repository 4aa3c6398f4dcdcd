#include "host/core/pixel_layout.h"

#include <cstring>

#include "host/core/pixel_clones.h"

namespace kivo::host {
namespace {

KIVO_PIXEL_CLONES uint8_t packRows(const uint8_t *__restrict from, uint8_t *__restrict to, size_t pixels) {
    uint8_t alpha = 255;
    for (size_t i = 0; i < pixels; ++i) {
        to[i * 3 + 0] = from[i * 4 + 0];
        to[i * 3 + 1] = from[i * 4 + 1];
        to[i * 3 + 2] = from[i * 4 + 2];
        alpha &= from[i * 4 + 3];
    }
    return alpha;
}

KIVO_PIXEL_CLONES void opaqueRows(uint8_t *__restrict rgba, size_t pixels) {
    // A whole pixel at a time, or-ed with alpha's bits: single bytes four
    // apart are left scalar by the vectorizer.
    const uint8_t alpha[4] = {0, 0, 0, 255};
    uint32_t mask;
    std::memcpy(&mask, alpha, 4);
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, rgba + i * 4, 4);
        pixel |= mask;
        std::memcpy(rgba + i * 4, &pixel, 4);
    }
}

KIVO_PIXEL_CLONES void splitRows(const uint8_t *__restrict from, size_t pixels, uint8_t *__restrict red,
                                 uint8_t *__restrict green, uint8_t *__restrict blue, uint8_t *__restrict alpha) {
    for (size_t i = 0; i < pixels; ++i) {
        red[i] = from[i * 4 + 0];
        green[i] = from[i * 4 + 1];
        blue[i] = from[i * 4 + 2];
        alpha[i] = from[i * 4 + 3];
    }
}

// A sample of 0 to 1 as a level of 0 to top: rounded, halves up, and
// clamped; NaN fails both comparisons and is 0.
inline uint32_t levelOf(float value, float top) {
    const float scaled = value * top + 0.5f;
    return scaled >= 0.0f ? static_cast<uint32_t>(scaled <= top ? scaled : top) : 0u;
}

} // namespace

// The versioned functions are called from here only (see pixel_clones.h).
bool packRgbaToRgb(const uint8_t *rgba, uint8_t *rgb, size_t pixels) { return packRows(rgba, rgb, pixels) == 255; }

bool widenRgbaTo16(const uint8_t *rgba, size_t pixels, int channels, uint8_t *samples) {
    uint8_t alpha = 255;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        alpha &= rgba[3];
        for (int c = 0; c < channels; ++c) {
            *samples++ = rgba[c];
            *samples++ = rgba[c];
        }
    }
    return alpha == 255;
}

bool packFloatRgba(const float *rgba, size_t pixels, int channels, int depth, uint8_t *samples) {
    const float top = depth == 16 ? 65535.0f : 255.0f;
    bool opaque = true;
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        opaque = opaque && rgba[3] == 1.0f;
        for (int c = 0; c < channels; ++c) {
            const uint32_t level = levelOf(rgba[c], top);
            if (depth == 16) *samples++ = static_cast<uint8_t>(level >> 8);
            *samples++ = static_cast<uint8_t>(level);
        }
    }
    return opaque;
}

void makeOpaque(uint8_t *rgba, size_t pixels) { opaqueRows(rgba, pixels); }

void splitRgbaPlanes(const uint8_t *rgba, size_t pixels, uint8_t *red, uint8_t *green, uint8_t *blue,
                     uint8_t *alpha) {
    splitRows(rgba, pixels, red, green, blue, alpha);
}

} // namespace kivo::host
