// Small images with every channel varying, alpha included, for tests.
#ifndef KIVO_TESTS_CLI_TEST_IMAGES_H
#define KIVO_TESTS_CLI_TEST_IMAGES_H

#include <cstdint>

#include "host/core/rgba_image.h"

inline kivo::host::RgbaImage patternImage(int32_t width, int32_t height, uint32_t seed) {
    kivo::host::RgbaImage image(width, height);
    uint32_t state = seed * 2654435761u + 12345u;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            uint8_t *pixel = image.at(x, y);
            pixel[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            pixel[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            pixel[2] = static_cast<uint8_t>(state >> 24);
            pixel[3] = static_cast<uint8_t>((x + y) % 3 == 0 ? 255 : (state >> 16) & 255);
        }
    return image;
}

#endif
