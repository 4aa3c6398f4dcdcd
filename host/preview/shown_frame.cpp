#include "host/preview/shown_frame.h"

#include <algorithm>
#include <cstring>

#include "host/media/png_codec.h"

namespace kivo::preview {
namespace {

constexpr int kQuickLevel = 1;
constexpr int32_t kBands = 8, kBandRows = 8; // sampled: 64 rows spread over the frame
constexpr size_t kMostSavedPercent = 20;     // stored below this saving

// The sampled bands, top to bottom, as one image.
host::RgbaImage bandsOf(const host::RgbaImage &image) {
    host::RgbaImage bands(image.width, kBands * kBandRows);
    const size_t rowBytes = static_cast<size_t>(image.width) * 4;
    for (int32_t band = 0; band < kBands; ++band) {
        const int32_t top = (image.height - kBandRows) * band / (kBands - 1);
        std::memcpy(bands.at(0, band * kBandRows), image.at(0, top), rowBytes * kBandRows);
    }
    return bands;
}

} // namespace

std::string pngOf(const host::RgbaImage &image, int level) {
    std::string png;
    png.reserve(image.pixels.size() + 1024); // written once: pages past the end are never touched
    media::encodePng("frame", image, nullptr, 8, level, [&](std::string_view bytes) { png.append(bytes); });
    return png;
}

std::string shownPngOf(const host::RgbaImage &image) {
    if (image.height < 2 * kBands * kBandRows) return pngOf(image, kQuickLevel);
    const host::RgbaImage bands = bandsOf(image);
    const size_t raw = bands.pixels.size() / 4 * 3; // RGB; a frame with alpha only stores sooner
    const size_t packed = pngOf(bands, kQuickLevel).size();
    return pngOf(image, packed * 100 > raw * (100 - kMostSavedPercent) ? 0 : kQuickLevel);
}

} // namespace kivo::preview
