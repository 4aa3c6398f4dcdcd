// Conversions between the host's interleaved RGBA frames and the layouts of
// PNG rows and of the module's row fetches. Each touches every pixel of every
// frame, so they are built to vectorize (see pixel_layout.cpp).
#ifndef KIVO_HOST_CORE_PIXEL_LAYOUT_H
#define KIVO_HOST_CORE_PIXEL_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace kivo::host {

// pixels * 4 bytes of RGBA -> pixels * 3 bytes of RGB; true when every
// alpha was 255 (nothing was lost).
bool packRgbaToRgb(const uint8_t *rgba, uint8_t *rgb, size_t pixels);

// pixels * 4 bytes of RGBA -> pixels * channels 16-bit samples, big-endian
// as PNG rows hold them, each v * 257 (0..255 onto 0..65535); channels 3
// drops alpha. True when every alpha was 255.
bool widenRgbaTo16(const uint8_t *rgba, size_t pixels, int channels, uint8_t *samples);

// pixels * 4 floats of RGBA, 0 to 1 -> pixels * channels samples of depth
// bits (8, or 16 big-endian as PNG rows hold them); channels 3 drops alpha.
// Each is rounded to the nearest level, halves up, and clamped; NaN is 0.
// True when every alpha was exactly 1.
bool packFloatRgba(const float *rgba, size_t pixels, int channels, int depth, uint8_t *samples);

// Sets the alpha of pixels * 4 bytes of RGBA to 255.
void makeOpaque(uint8_t *rgba, size_t pixels);

// pixels * 4 bytes of RGBA -> four planes of pixels bytes each.
void splitRgbaPlanes(const uint8_t *rgba, size_t pixels, uint8_t *red, uint8_t *green, uint8_t *blue,
                     uint8_t *alpha);

} // namespace kivo::host

#endif
