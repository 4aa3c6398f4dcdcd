// The film look's two luminance sums. Each adds its terms in its own order
// in double precision and truncates, so they differ: grey 1 gives 0 and 1.
// The terms come from tables of the same products, computed once at compile
// time (correctly rounded, as the processor rounds them).
#ifndef KIVO_PROCESS_LUMINANCE_H
#define KIVO_PROCESS_LUMINANCE_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace luminance_detail {

constexpr std::array<double, 256> products(double weight) {
    std::array<double, 256> table{};
    for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = weight * i;
    return table;
}

inline constexpr std::array<double, 256> kRed = products(0.3);
inline constexpr std::array<double, 256> kGreen = products(0.59);
inline constexpr std::array<double, 256> kBlue = products(0.11);

} // namespace luminance_detail

inline int32_t pixelLuminance(uint8_t red, uint8_t green, uint8_t blue) {
    using namespace luminance_detail;
    return static_cast<int32_t>((kRed[red] + kGreen[green]) + kBlue[blue]);
}

inline int32_t smearLuminance(uint8_t red, uint8_t green, uint8_t blue) {
    using namespace luminance_detail;
    return static_cast<int32_t>((kBlue[blue] + kRed[red]) + kGreen[green]);
}

#endif
