// The vignette: a film value v becomes mixChannel(v, 16, 1 - c), where c is
// max(0, cos(sqrt(X * X + Y * Y) * vignetteStep)) with the module's correctly
// rounded cosine, at the offset (X, Y) of the pixel from the frame centre.
//
// A pixel does not need c itself, only the blend's double sum truncated, and
// that sum lies within 2^-44 of 16 + c * (v - 16). So the table holds a code for each |X| and |Y|
// of the frame: c in units of 2^-24, within one unit of it. From the code,
// 2^24 * (16 + code / 2^24 * (v - 16)) is an exact integer, and it is off the
// scaled sum by at most 240 units: where it lies 256 units or more from a
// multiple of 2^24, it truncates to the same value as the blend with the
// exact amount. The rest (a fraction 2^-15 of the pixels) take the exact
// amount. Code 0 stands for exactly c = 0, where every film value becomes 16.
#ifndef KIVO_PROCESS_VIGNETTE_TABLE_H
#define KIVO_PROCESS_VIGNETTE_TABLE_H

#include <cstdint>

inline constexpr int kVignetteCodeBits = 24;
inline constexpr uint32_t kVignetteCodeOne = uint32_t{1} << kVignetteCodeBits;

// The amount at offset (x, y) from the centre; |x| and |y| at most 2^31.
double vignetteAmount(int64_t x, int64_t y, double vignetteStep);

// The code of the cosine at offset (x, y), for |y| at most the frame width:
// 0 where it is not positive, else c * 2^24 rounded to the nearest, at least 1.
uint32_t vignetteCode(int64_t x, int64_t y, double vignetteStep);

// mixChannel(v, 16, vignetteAmount(x, y, vignetteStep)), computed in full.
uint8_t vignettedExactly(uint8_t v, int64_t x, int64_t y, double vignetteStep);

// 2^24 * (16 + code / 2^24 * (v - 16)), at most 255 * 2^24; the product
// wraps below zero modulo 2^32 when v < 16, which the sum undoes.
inline uint32_t vignetteScaled(uint8_t v, uint32_t code) {
    return 16 * kVignetteCodeOne + code * (static_cast<uint32_t>(v) - 16);
}

// 1 where the scaled blend lies within the margin of a multiple of 2^24, and
// so may truncate otherwise than the blend with the exact amount; else 0.
// It is 16 * 2^24 exactly just where c = 0 (code 0) or v = 16, and both give
// 16 exactly: with v = 16 the sum is 16 * ((1 - a) + a), which rounds to 16.
inline uint32_t vignetteInDoubt(uint32_t scaled) {
    constexpr uint32_t kMargin = 256;
    const bool near = ((scaled + kMargin) & (kVignetteCodeOne - 1)) < 2 * kMargin;
    return static_cast<uint32_t>(near & (scaled != 16 * kVignetteCodeOne));
}

// Film value v darkened by the vignette whose code is `code`, or -1 where the
// code leaves it in doubt.
inline int32_t vignettedByCode(uint8_t v, uint32_t code) {
    const uint32_t scaled = vignetteScaled(v, code);
    return vignetteInDoubt(scaled) != 0 ? -1 : static_cast<int32_t>(scaled >> kVignetteCodeBits);
}

// Film value v darkened by the vignette at offset (x, y), whose code is `code`.
inline uint8_t vignetted(uint8_t v, uint32_t code, int64_t x, int64_t y, double vignetteStep) {
    const int32_t byCode = vignettedByCode(v, code);
    if (byCode >= 0) [[likely]]
        return static_cast<uint8_t>(byCode);
    return vignettedExactly(v, x, y, vignetteStep);
}

// The same with the code from the row's codes (by |x|), or computed here
// when the row has none.
inline uint8_t vignetted(uint8_t v, const uint32_t *rowCodes, int64_t x, int64_t y, double vignetteStep) {
    const uint32_t code = rowCodes != nullptr ? rowCodes[x < 0 ? -x : x] : vignetteCode(x, y, vignetteStep);
    return vignetted(v, code, x, y, vignetteStep);
}

// The codes of one frame size: its quadrant (|X| up to W/2, |Y| up to H/2),
// computed once for a run of frames of that size when it fits kCapacity, and
// otherwise one row at a time as rows are asked for.
class VignetteTable {
public:
    // Room for the quadrant of frames up to 7680 x 4320 (32 MiB) and for one
    // row of frames up to 16384 wide.
    static constexpr int64_t kCapacity = int64_t{1} << 23;
    static constexpr int64_t kRowCapacity = 8193;

    void prepare(int32_t width, int32_t height, double vignetteStep);

    // The codes of row offset y by |x|, or null for a row longer than
    // kRowCapacity. Rows with |y| above the width are never darkened and
    // have no codes.
    const uint32_t *row(int64_t y);

    // Darkens grey[begin..end-1], the film values of those columns of the
    // row at offset y from the centre.
    void darken(uint8_t *grey, int64_t begin, int64_t end, int64_t y);

private:
    void fillRow(uint32_t *codes, int64_t y) const;

    bool prepared_ = false;
    bool tabled_ = false; // the whole quadrant is in codes_
    int32_t width_ = 0;   // the frame and step the codes are for
    int32_t height_ = 0;
    double step_ = 0.0;
    int64_t columns_ = 0;  // W/2 + 1
    int64_t heldRow_ = -1; // the row in rowCodes_ when not tabled
    uint32_t codes_[kCapacity];
    uint32_t rowCodes_[kRowCapacity];
    // darken's codes and results by column, for frames up to 16384 wide.
    static constexpr int64_t kDarkenColumns = 16384;
    uint32_t byColumn_[kDarkenColumns];
    uint8_t darkened_[kDarkenColumns];
};

#endif
