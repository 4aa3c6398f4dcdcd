#include "host/core/pixel_layout.h"

#include <cstring>

// The binary runs on any x86-64, where only SSE2 is certain. On such Linux
// builds each loop also gets a version for newer processors (AVX2, or SSSE3
// for the widening), chosen once at load time; the file is compiled with the
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

#if KIVO_PIXEL_MULTIVERSION
// Widening 3 bytes to 4 is one byte shuffle per 4 pixels with SSSE3; the
// compiler's own code for this loop is slower than the plain scalar one,
// and its SSE2 emulation of the shuffle is slower still, so there are two
// bodies: the shuffle, and a scalar one for processors without SSSE3.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

__attribute__((target("ssse3"))) void expandRows(const uint8_t *__restrict from, uint8_t *__restrict to,
                                                 size_t pixels) {
    const Bytes16 opaque = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    size_t i = 0;
    // Each step reads 16 bytes for 4 pixels' 12: it stops while the read
    // still ends inside the source.
    for (; i + 6 <= pixels; i += 4, from += 12, to += 16) {
        Bytes16 in;
        std::memcpy(&in, from, sizeof in);
        const Bytes16 out =
            __builtin_shufflevector(in, in, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0) | opaque;
        std::memcpy(to, &out, sizeof out);
    }
    for (; i < pixels; ++i, from += 3, to += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 255;
    }
}
#endif

#if KIVO_PIXEL_MULTIVERSION
__attribute__((target("default")))
#endif
void expandRows(const uint8_t *__restrict from, uint8_t *__restrict to, size_t pixels) {
    // A 4-byte load per pixel (its last byte belongs to the next pixel and
    // is replaced by alpha), except for the last pixel, whose load would
    // end past the source.
    size_t i = 0;
    for (; i + 1 < pixels; ++i, from += 3, to += 4) {
        uint32_t word;
        std::memcpy(&word, from, 4);
        const uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                  static_cast<uint8_t>(word >> 16), 255};
        std::memcpy(to, bytes, 4);
    }
    for (; i < pixels; ++i, from += 3, to += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 255;
    }
}

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
void expandRgbToRgba(const uint8_t *rgb, uint8_t *rgba, size_t pixels) { expandRows(rgb, rgba, pixels); }

bool packRgbaToRgb(const uint8_t *rgba, uint8_t *rgb, size_t pixels) { return packRows(rgba, rgb, pixels) == 255; }

void makeOpaque(uint8_t *rgba, size_t pixels) { opaqueRows(rgba, pixels); }

void splitRgbaPlanes(const uint8_t *rgba, size_t pixels, uint8_t *red, uint8_t *green, uint8_t *blue,
                     uint8_t *alpha) {
    splitRows(rgba, pixels, red, green, blue, alpha);
}

} // namespace kivo::host
