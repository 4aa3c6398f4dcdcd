#include "host/cli/demo_frames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "host/cli/pixel_font.h"

namespace kivo::cli {
namespace {

using Rgb = std::array<uint8_t, 3>;

void put(host::RgbaImage &image, int x, int y, Rgb colour) {
    uint8_t *pixel = image.at(x, y);
    pixel[0] = colour[0];
    pixel[1] = colour[1];
    pixel[2] = colour[2];
    pixel[3] = 255;
}

// Fully saturated hue, 0..1 round the colour wheel.
Rgb hue(double h) {
    const double r = std::clamp(std::fabs(h * 6 - 3) - 1, 0.0, 1.0);
    const double g = std::clamp(2 - std::fabs(h * 6 - 2), 0.0, 1.0);
    const double b = std::clamp(2 - std::fabs(h * 6 - 4), 0.0, 1.0);
    return {uint8_t(r * 255), uint8_t(g * 255), uint8_t(b * 255)};
}

void fill(host::RgbaImage &image, int x0, int y0, int x1, int y1, Rgb colour) {
    for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x)
            put(image, x, y, colour);
}

} // namespace

host::RgbaImage demoFrame(int index, int count, int width, int height, int frameNumber) {
    static constexpr Rgb kBars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                    {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    host::RgbaImage image(width, height);
    const int barsBottom = height * 6 / 10, greyBottom = height * 8 / 10;
    for (int x = 0; x < width; ++x) {
        const Rgb bar = kBars[x * 8 / width];
        const auto grey = static_cast<uint8_t>(x * 255 / std::max(width - 1, 1));
        const Rgb rainbow = hue(double(x) / width);
        for (int y = 0; y < height; ++y)
            put(image, x, y, y < barsBottom ? bar : y < greyBottom ? Rgb{grey, grey, grey} : rainbow);
    }

    // A ball crossing from left to right, bobbing once.
    const double t = count > 1 ? double(index) / (count - 1) : 0.0;
    const double radius = height * 0.12;
    const double cx = radius + t * (width - 2 * radius);
    const double cy = barsBottom * 0.5 + std::sin(t * 2 * M_PI) * barsBottom * 0.25;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            if (d < radius) {
                const auto shade = static_cast<uint8_t>(255 - 120 * d / radius);
                put(image, x, y, {shade, static_cast<uint8_t>(shade * 0.55), 0});
            }
        }

    const std::string label = std::to_string(frameNumber);
    const int scale = std::max(height / 120, 1);
    fill(image, 2, 2, 6 * scale + textWidth(label, scale), 6 * scale + kGlyphHeight * scale, {0, 0, 0});
    drawText(image, 4 * scale, 4 * scale, label, scale, {255, 255, 255});
    return image;
}

host::RgbaImage contactSheet(const std::vector<std::vector<host::RgbaImage>> &tiles,
                             const std::vector<std::string> &rowTitles, const std::vector<std::string> &columnTitles) {
    const int rows = static_cast<int>(tiles.size());
    const int columns = rows > 0 ? static_cast<int>(tiles[0].size()) : 0;
    const int tileWidth = columns > 0 ? tiles[0][0].width : 0, tileHeight = columns > 0 ? tiles[0][0].height : 0;
    constexpr int gap = 8, scale = 2;
    int titleWidth = 0;
    for (const std::string &title : rowTitles)
        titleWidth = std::max(titleWidth, textWidth(title, scale));
    const int left = titleWidth + 2 * gap, top = kGlyphHeight * scale + 2 * gap;

    host::RgbaImage sheet(left + columns * (tileWidth + gap), top + rows * (tileHeight + gap));
    fill(sheet, 0, 0, sheet.width, sheet.height, {32, 32, 36});
    for (int c = 0; c < columns && c < static_cast<int>(columnTitles.size()); ++c) {
        const int x = left + c * (tileWidth + gap) + (tileWidth - textWidth(columnTitles[c], scale)) / 2;
        drawText(sheet, x, gap, columnTitles[c], scale, {230, 230, 230});
    }
    for (int r = 0; r < rows; ++r) {
        const int y = top + r * (tileHeight + gap);
        if (r < static_cast<int>(rowTitles.size()))
            drawText(sheet, gap, y + (tileHeight - kGlyphHeight * scale) / 2, rowTitles[r], scale, {230, 230, 230});
        for (int c = 0; c < columns; ++c) {
            const host::RgbaImage &tile = tiles[r][c];
            const int x0 = left + c * (tileWidth + gap);
            for (int ty = 0; ty < std::min(tile.height, tileHeight); ++ty)
                for (int tx = 0; tx < std::min(tile.width, tileWidth); ++tx) {
                    const uint8_t *from = tile.at(tx, ty);
                    put(sheet, x0 + tx, y + ty, {from[0], from[1], from[2]});
                }
        }
    }
    return sheet;
}

} // namespace kivo::cli
