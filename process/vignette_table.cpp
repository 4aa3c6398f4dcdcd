#include "process/vignette_table.h"

#include <algorithm>
#include <cmath>

#include "process/cosine.h"
#include "process/mix_channel.h"

namespace {

double vignetteAngle(int64_t x, int64_t y, double vignetteStep) {
    return std::sqrt(static_cast<double>(x * x + y * y)) * vignetteStep;
}

// cos(angle) for 0 <= angle < kPastQuarter, within 2^-33: its Taylor series
// to the term of angle^14, whose remainder is below angle^16 / 16! < 2^-33.
double approximateCosine(double angle) {
    constexpr double kTerms[] = {1.0,
                                 -1.0 / 2,
                                 1.0 / 24,
                                 -1.0 / 720,
                                 1.0 / 40320,
                                 -1.0 / 3628800,
                                 1.0 / 479001600,
                                 -1.0 / 87178291200.0};
    const double z = angle * angle;
    double sum = kTerms[7];
    for (int k = 6; k >= 0; --k) sum = sum * z + kTerms[k];
    return sum;
}

// Just above pi/2. The angles of rows that are darkened (|y| at most the
// width) stay below 3.6, and the cosine is negative from here to 3 pi/2.
constexpr double kPastQuarter = 1.5708;

} // namespace

double vignetteAmount(int64_t x, int64_t y, double vignetteStep) {
    // The module's own cosine: the platforms' C libraries round differently.
    double c = roundedCosine(vignetteAngle(x, y, vignetteStep));
    if (c < 0.0) c = 0.0;
    return 1.0 - c;
}

uint32_t vignetteCode(int64_t x, int64_t y, double vignetteStep) {
    const double angle = vignetteAngle(x, y, vignetteStep);
    if (angle >= kPastQuarter) return 0;
    double c = approximateCosine(angle);
    // Near pi/2 the sign, and whether c rounds to code 0, need c exactly.
    if (c < 0x1p-20) {
        c = roundedCosine(angle);
        if (c <= 0.0) return 0;
    }
    const double scaled = c * static_cast<double>(kVignetteCodeOne) + 0.5;
    return std::clamp(static_cast<uint32_t>(scaled), uint32_t{1}, kVignetteCodeOne);
}

uint8_t vignettedExactly(uint8_t v, int64_t x, int64_t y, double vignetteStep) {
    return static_cast<uint8_t>(mixChannelOfModerate(v, 16, vignetteAmount(x, y, vignetteStep)));
}

void VignetteTable::prepare(int32_t width, int32_t height, double vignetteStep) {
    // Frames of one size in a row reuse the codes computed for the first.
    if (prepared_ && width == width_ && height == height_ && vignetteStep == step_) return;
    prepared_ = true;
    width_ = width;
    height_ = height;
    step_ = vignetteStep;
    heldRow_ = -1;
    columns_ = width > 0 ? width / 2 + 1 : 0; // |x| up to W/2
    int64_t rows = height > 0 ? height / 2 + 1 : 0; // |y| up to H/2
    // Rows with |y| above the width (y * y above widthSquared) are never darkened.
    rows = std::min(rows, static_cast<int64_t>(width) + 1);
    tabled_ = columns_ * rows <= kCapacity;
    if (!tabled_) return;
    for (int64_t y = 0; y < rows; ++y) fillRow(codes_ + y * columns_, y);
}

void VignetteTable::fillRow(uint32_t *codes, int64_t y) const {
    for (int64_t x = 0; x < columns_; ++x) codes[x] = vignetteCode(x, y, step_);
}

const uint32_t *VignetteTable::row(int64_t y) {
    if (y < 0) y = -y;
    if (tabled_) return codes_ + y * columns_;
    if (columns_ > kRowCapacity) return nullptr;
    if (y != heldRow_) {
        fillRow(rowCodes_, y);
        heldRow_ = y;
    }
    return rowCodes_;
}

namespace {

// Darkens values[i] by codes[i] into out[i], for i below count. Returns
// whether any is left in doubt, where out holds no valid value.
bool darkenByCodes(const uint8_t *values, const uint32_t *codes, int64_t count, uint8_t *out) {
    uint32_t doubt = 0;
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t scaled = vignetteScaled(values[i], codes[i]);
        out[i] = static_cast<uint8_t>(scaled >> kVignetteCodeBits);
        doubt |= vignetteInDoubt(scaled);
    }
    return doubt != 0;
}

} // namespace

void VignetteTable::darken(uint8_t *grey, int64_t begin, int64_t end, int64_t y) {
    const uint32_t *codes = row(y);
    const int64_t half = width_ / 2;
    const double step = step_;
    if (codes == nullptr || end > kDarkenColumns) {
        for (int64_t x = begin; x < end; ++x) grey[x] = vignetted(grey[x], codes, x - half, y, step);
        return;
    }
    // The codes by column, mirrored left of the centre, then a loop without
    // branches; the few values it leaves in doubt are computed in full.
    const int64_t split = std::clamp(half, begin, end);
    for (int64_t x = begin; x < split; ++x) byColumn_[x] = codes[half - x];
    std::copy(codes + (split - half), codes + (end - half), byColumn_ + split);
    if (darkenByCodes(grey + begin, byColumn_ + begin, end - begin, darkened_ + begin)) {
        for (int64_t x = begin; x < end; ++x) darkened_[x] = vignetted(grey[x], byColumn_[x], x - half, y, step);
    }
    std::copy(darkened_ + begin, darkened_ + end, grey + begin);
}
