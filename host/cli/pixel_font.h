// A 5 x 7 pixel font of capitals, digits and a few signs, for labelling the
// demo's frames and contact sheet without a font library.
#ifndef KIVO_HOST_CLI_PIXEL_FONT_H
#define KIVO_HOST_CLI_PIXEL_FONT_H

#include <array>
#include <cstdint>
#include <string_view>

#include "host/core/rgba_image.h"

namespace kivo::cli {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6; // glyph and one column of space

// Draws text with its top left at (x, y), each font pixel scale x scale;
// lower-case letters are drawn as capitals, unknown characters as blanks.
// Pixels outside the image are skipped.
void drawText(host::RgbaImage &image, int x, int y, std::string_view text, int scale, std::array<uint8_t, 3> colour);

// Width in pixels of text drawn at that scale.
int textWidth(std::string_view text, int scale);

} // namespace kivo::cli

#endif
