// The prediction filters of PNG rows, chosen row by row before the image is
// compressed. Each touches every byte of every frame written, so they are
// built to vectorize (see png_filter.cpp).
#ifndef KIVO_HOST_MEDIA_PNG_FILTER_H
#define KIVO_HOST_MEDIA_PNG_FILTER_H

#include <cstddef>
#include <cstdint>

namespace kivo::media {

// The rows of a file take the filter chosen for the first of every eight:
// neighbouring rows favour the same filter, and trying all five on a row
// costs about what compressing it does.
inline constexpr size_t kRowsPerFilterChoice = 8;

// Filters one row of n bytes, pixelBytes (3, 4, 6 or 8) a pixel, given the
// unfiltered row above it (all zeros for the first row). Writes the chosen
// filter's type byte and the n filtered bytes to out, and returns the type.
// Of None, Sub, Up, Average and Paeth it takes the one whose bytes vary the
// least (the earlier one on a tie): filtered bytes by their magnitude read
// as signed numbers, the format's usual measure, and unfiltered ones by
// their distance from their mean. scratch holds 4 * n bytes.
uint8_t filterPngRow(const uint8_t *row, const uint8_t *above, size_t n, size_t pixelBytes, uint8_t *out,
                     uint8_t *scratch);

// Writes type (0 to 4) and the row filtered by that filter to out.
void applyPngFilter(uint8_t type, const uint8_t *row, const uint8_t *above, size_t n, size_t pixelBytes,
                    uint8_t *out);

} // namespace kivo::media

#endif
