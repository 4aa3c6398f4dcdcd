// The vignette's blend amounts, 1 - max(0, cos(distance * vignetteStep)),
// where distance is that of a pixel from the frame centre. They depend only
// on |X| and |Y|, so one quadrant is computed per frame when it fits the
// table; larger frames compute the amount at each pixel.
#ifndef KIVO_PROCESS_VIGNETTE_TABLE_H
#define KIVO_PROCESS_VIGNETTE_TABLE_H

#include <cstdint>

// The amount at offset (x, y) from the centre; |x| and |y| at most 2^31.
double vignetteAmount(int64_t x, int64_t y, double vignetteStep);

class VignetteTable {
public:
    // Fills the quadrant of a width x height frame, or leaves the table empty
    // when the frame is too large for it.
    void prepare(int32_t width, int32_t height, double vignetteStep);

    // Amounts of row offset y by |x|, or null when they are not tabled.
    const double *row(int64_t y) const {
        if (stride_ == 0) return nullptr;
        return amounts_ + (y < 0 ? -y : y) * stride_;
    }

    // Room for the quadrant of frames up to 2560 x 1440 (8 MiB).
    static constexpr int64_t kCapacity = int64_t{1} << 20;

private:
    int64_t stride_ = 0; // 0: nothing tabled
    double amounts_[kCapacity];
};

#endif
