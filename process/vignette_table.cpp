#include "process/vignette_table.h"

#include <cmath>

double vignetteAmount(int64_t x, int64_t y, double vignetteStep) {
    const double distance = std::sqrt(static_cast<double>(x * x + y * y));
    double c = std::cos(distance * vignetteStep);
    if (c < 0.0) c = 0.0;
    return 1.0 - c;
}

void VignetteTable::prepare(int32_t width, int32_t height, double vignetteStep) {
    stride_ = 0;
    if (width <= 0 || height <= 0) return;
    const int64_t columns = width / 2 + 1; // |x| up to W/2
    int64_t rows = height / 2 + 1;         // |y| up to H/2
    // Rows with |y| above the width (y * y above widthSquared) are never darkened.
    if (rows > static_cast<int64_t>(width) + 1) rows = static_cast<int64_t>(width) + 1;
    if (columns * rows > kCapacity) return;
    for (int64_t y = 0; y < rows; ++y)
        for (int64_t x = 0; x < columns; ++x) amounts_[y * columns + x] = vignetteAmount(x, y, vignetteStep);
    stride_ = columns;
}
