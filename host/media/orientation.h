// How a video is turned upright for viewing: the display matrix a file
// gives its video stream, reduced to the turns and mirrorings a player
// applies (as FFmpeg does when it rotates automatically).
#ifndef KIVO_HOST_MEDIA_ORIENTATION_H
#define KIVO_HOST_MEDIA_ORIENTATION_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::media {

// Output pixel (x, y) is source column x and row y, or with transpose
// source column y and row x; a mirror then counts that column or row from
// the source's other edge.
struct Orientation {
    bool transpose = false, mirrorColumns = false, mirrorRows = false;
    bool upright() const { return !transpose && !mirrorColumns && !mirrorRows; }
    bool operator==(const Orientation &) const = default;
};

struct DisplayTurn {
    Orientation orientation;
    bool exact = true; // false: a turn other than a quarter's multiple, which is left as stored
};

// The turn of a display matrix (nine 16.16 and 2.30 values); upright for none.
DisplayTurn turnOf(const int32_t *matrix);

// The image of width x height pixels of 4 samples each, turned.
template <typename Sample>
void orient(const Orientation &orientation, const std::vector<Sample> &source, int32_t width, int32_t height,
            std::vector<Sample> &target) {
    target.resize(source.size());
    const int32_t outWidth = orientation.transpose ? height : width;
    const int32_t outHeight = orientation.transpose ? width : height;
    for (int32_t y = 0; y < outHeight; ++y) {
        for (int32_t x = 0; x < outWidth; ++x) {
            int32_t column = orientation.transpose ? y : x, row = orientation.transpose ? x : y;
            if (orientation.mirrorColumns) column = width - 1 - column;
            if (orientation.mirrorRows) row = height - 1 - row;
            const Sample *from = &source[(static_cast<size_t>(row) * width + column) * 4];
            Sample *to = &target[(static_cast<size_t>(y) * outWidth + x) * 4];
            to[0] = from[0], to[1] = from[1], to[2] = from[2], to[3] = from[3];
        }
    }
}

} // namespace kivo::media

#endif
