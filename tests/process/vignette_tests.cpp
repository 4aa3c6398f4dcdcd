// The vignette's codes: each within one unit of the exactly rounded cosine,
// and a blend from any such code either exact or left to the exact amount.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>

#include "process/cosine.h"
#include "process/frame_state.h"
#include "process/frame_tables.h"
#include "process/mix_channel.h"
#include "process/vignette_table.h"

namespace {

// Checks the blend of v from both codes next to c * 2^24 (and from code 1
// for a c below one unit) against the blend with the amount 1 - c.
void expectExactOrInDoubt(double c, int32_t v, int64_t &inDoubt) {
    const int32_t exact = mixChannel(v, 16, 1.0 - c);
    const double units = c * kVignetteCodeOne;
    for (double code : {std::floor(units), std::ceil(units)}) {
        const uint32_t nonZero = code < 1.0 ? 1 : static_cast<uint32_t>(code);
        const int32_t byCode = vignettedByCode(static_cast<uint8_t>(v), nonZero);
        if (byCode < 0) {
            ++inDoubt;
            continue;
        }
        ASSERT_EQ(byCode, exact) << std::hexfloat << "c " << c << " v " << v << " code " << nonZero;
    }
}

// Cosines whose blend of v lands within a few hundred units of 2^-24 of each
// value the blend can take, where a code one unit off would cross over.
TEST(Vignette, BlendsFromCodesWithinOneUnitAreExactOrInDoubt) {
    int64_t checked = 0, inDoubt = 0;
    for (int32_t v = 0; v < 256; ++v) {
        if (v == 16) continue;
        const int32_t low = v < 16 ? v : 16, high = v < 16 ? 16 : v;
        for (int32_t n = low; n <= high; ++n) {
            // 16 + c * (v - 16) = n.
            const double crossing = static_cast<double>(n - 16) / static_cast<double>(v - 16);
            for (int32_t t = -300; t <= 300; t += 25) {
                const double c = crossing + t * 0x1p-24 / (v - 16);
                if (c < 0.0 || c > 1.0) continue;
                expectExactOrInDoubt(c, v, inDoubt);
                // Film value 16 stays 16 whatever the amount, never in doubt.
                expectExactOrInDoubt(c, 16, inDoubt);
                checked += 4;
            }
        }
    }
    // At the ends: c = 0 (code 0) darkens everything to 16; tiny cosines get code 1.
    for (int32_t v = 0; v < 256; ++v) {
        EXPECT_EQ(vignettedByCode(static_cast<uint8_t>(v), 0), 16);
        for (double tiny : {0x1p-60, 0x1p-30, 0x1p-25}) expectExactOrInDoubt(tiny, v, inDoubt);
        expectExactOrInDoubt(1.0, v, inDoubt);
    }
    std::printf("%lld blends near a crossing, %lld left in doubt\n", static_cast<long long>(checked),
                static_cast<long long>(inDoubt));
    EXPECT_LT(inDoubt, checked);
}

// |code - c * 2^24| <= 1/2 (code 1 for c in (0, 2^-24)), code 0 just where c is 0.
void expectCodeOf(double c, uint32_t code) {
    if (c <= 0.0) {
        ASSERT_EQ(code, 0u);
        return;
    }
    const double units = c * kVignetteCodeOne;
    if (units < 1.0) {
        ASSERT_EQ(code, 1u) << std::hexfloat << c;
        return;
    }
    ASSERT_LE(std::fabs(static_cast<double>(code) - units), 0.5 + 0x1p-8) << std::hexfloat << c;
}

TEST(Vignette, CodesOfRealFramesRoundTheCosine) {
    const int32_t sizes[][3] = {{640, 480, 1}, {1920, 1080, 1}, {7680, 4320, 61}, {100, 300, 1}, {16384, 20, 1}};
    VignetteTable &table = FrameTables::forModule().vignette;
    for (const auto &size : sizes) {
        const int32_t width = size[0], height = size[1], rowStep = size[2];
        FrameState frame;
        frame.width = width;
        measureFrame(frame);
        table.prepare(width, height, frame.vignetteStep);
        const int64_t rows = std::min<int64_t>(height / 2, width);
        for (int64_t y = 0; y <= rows; y += rowStep) {
            const uint32_t *codes = table.row(y);
            for (int64_t x = 0; x <= width / 2; ++x) {
                const double c = roundedCosine(std::sqrt(static_cast<double>(x * x + y * y)) * frame.vignetteStep);
                expectCodeOf(c, codes[x]);
            }
        }
    }
}

} // namespace
