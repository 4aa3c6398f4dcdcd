#include "host/preview/display_image.h"

#include <algorithm>
#include <cstdint>

namespace kivo::preview {
namespace {

constexpr uint32_t kFileHeader = 14, kInfoHeader = 40, kV4Header = 108;
constexpr uint32_t kBitFields = 3;        // compression: pixels by the masks
constexpr uint32_t kSrgb = 0x73524742;    // 'sRGB' colour space
constexpr int32_t kPixelsPerMetre = 2835; // 72 dots an inch

void put(std::string &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool opaque(const host::RgbaImage &image) {
    for (size_t i = 3; i < image.pixels.size(); i += 4)
        if (image.pixels[i] != 255) return false;
    return true;
}

void header(std::string &out, const host::RgbaImage &image, bool alpha, uint32_t rowBytes) {
    const uint32_t info = alpha ? kV4Header : kInfoHeader;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(image.height);
    out += "BM";
    put(out, kFileHeader + info + pixelBytes, 4);
    put(out, 0, 4);
    put(out, kFileHeader + info, 4);
    put(out, info, 4);
    put(out, static_cast<uint32_t>(image.width), 4);
    put(out, static_cast<uint32_t>(-image.height), 4); // negative: top row first
    put(out, 1, 2);
    put(out, alpha ? 32 : 24, 2);
    put(out, alpha ? kBitFields : 0, 4);
    put(out, pixelBytes, 4);
    put(out, kPixelsPerMetre, 4);
    put(out, kPixelsPerMetre, 4);
    put(out, 0, 4);
    put(out, 0, 4);
    if (!alpha) return;
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put(out, mask, 4);
    put(out, kSrgb, 4);
    out.append(36 + 12, '\0'); // end points and gamma, unused for sRGB
}

} // namespace

std::string bmpOf(const host::RgbaImage &image) {
    const bool alpha = !opaque(image);
    const uint32_t rowBytes = alpha ? 4u * image.width : (3u * image.width + 3u) & ~3u;
    std::string out;
    out.reserve(kFileHeader + kV4Header + size_t{rowBytes} * image.height);
    header(out, image, alpha, rowBytes);
    const size_t start = out.size();
    out.resize(start + size_t{rowBytes} * image.height, '\0');
    auto *to = reinterpret_cast<uint8_t *>(out.data() + start);
    for (int32_t y = 0; y < image.height; ++y, to += rowBytes) {
        const uint8_t *from = image.at(0, y);
        uint8_t *pixel = to;
        for (int32_t x = 0; x < image.width; ++x, from += 4) {
            *pixel++ = from[2];
            *pixel++ = from[1];
            *pixel++ = from[0];
            if (alpha) *pixel++ = from[3];
        }
    }
    return out;
}

} // namespace kivo::preview
