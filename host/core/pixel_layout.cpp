#include "host/core/pixel_layout.h"

#include <cstring>

// The binary runs on any x86-64, where only SSE2 is certain. On such Linux
// builds each loop also gets a version for newer processors (AVX2), chosen
// once at load time; the file is compiled with the
// vectorizer's full cost model (see CMakeLists.txt). Elsewhere they are plain
// loops, and so are they under the sanitizers: the versions are picked by
// resolvers that run while the program is loaded, before a sanitizer's
// runtime is set up, and the instrumented resolvers would crash there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVO_PIXEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIVO_PIXEL_SANITIZED 1
#endif
#endif
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(KIVO_PIXEL_SANITIZED)
#define KIVO_PIXEL_MULTIVERSION 1
#define KIVO_PIXEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KIVO_PIXEL_MULTIVERSION 0
#define KIVO_PIXEL_CLONES
#endif

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

} // namespace

// The versioned functions are called from here only: a call from another
// file could bind to the default version instead of the dispatcher.
bool packRgbaToRgb(const uint8_t *rgba, uint8_t *rgb, size_t pixels) { return packRows(rgba, rgb, pixels) == 255; }

void makeOpaque(uint8_t *rgba, size_t pixels) { opaqueRows(rgba, pixels); }

void splitRgbaPlanes(const uint8_t *rgba, size_t pixels, uint8_t *red, uint8_t *green, uint8_t *blue,
                     uint8_t *alpha) {
    splitRows(rgba, pixels, red, green, blue, alpha);
}

} // namespace kivo::host
