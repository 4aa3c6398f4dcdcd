// The module's cosine against the correctly rounded cosine (the quad-precision
// cosine of libquadmath, rounded to double) and against the C library's, on
// every angle the vignette uses at real frame sizes and on a large sample.
#include <gtest/gtest.h>

#include <quadmath.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "process/cosine.h"
#include "process/frame_state.h"
#include "process/mix_channel.h"

namespace {

double correctlyRounded(double angle) { return static_cast<double>(cosq(static_cast<__float128>(angle))); }

// The vignette's blend of every film value 0..255 with a cosine c.
bool sameVignettePixels(double c1, double c2) {
    const double a1 = 1.0 - (c1 < 0.0 ? 0.0 : c1), a2 = 1.0 - (c2 < 0.0 ? 0.0 : c2);
    for (int32_t v = 0; v <= 255; ++v)
        if (mixChannel(v, 16, a1) != mixChannel(v, 16, a2)) return false;
    return true;
}

TEST(Cosine, CorrectlyRoundedOnEveryVignetteAngleOfRealFrames) {
    const int32_t sizes[][2] = {{640, 480}, {720, 576}, {1280, 720}, {1920, 1080}, {100, 300}};
    int64_t angles = 0, libraryDiffers = 0;
    for (const auto &size : sizes) {
        const int32_t width = size[0], height = size[1];
        FrameState frame;
        frame.width = width;
        measureFrame(frame);
        const double step = frame.vignetteStep;
        int64_t rows = height / 2 + 1;
        if (rows > width + 1) rows = width + 1; // rows beyond are never darkened
        for (int64_t y = 0; y < rows; ++y)
            for (int64_t x = 0; x <= width / 2; ++x) {
                const double angle = std::sqrt(static_cast<double>(x * x + y * y)) * step;
                const double own = roundedCosine(angle);
                ASSERT_EQ(own, correctlyRounded(angle)) << std::hexfloat << angle << " in " << width << "x" << height;
                ++angles;
                const double library = std::cos(angle);
                if (library == own) continue;
                // The C library is off by one unit in the last place here; no
                // pixel value may change through that.
                ++libraryDiffers;
                EXPECT_EQ(std::nextafter(own, library), library) << std::hexfloat << angle;
                EXPECT_TRUE(sameVignettePixels(own, library)) << std::hexfloat << angle;
            }
    }
    std::printf("%lld vignette angles; the C library's cosine differs on %lld, no pixel changes\n",
                static_cast<long long>(angles), static_cast<long long>(libraryDiffers));
}

TEST(Cosine, CorrectlyRoundedOnALargeSample) {
    std::mt19937_64 generator(20261208);
    std::uniform_real_distribution<double> angles(0.0, 3.6);
    for (int i = 0; i < 1000000; ++i) {
        const double angle = angles(generator);
        ASSERT_EQ(roundedCosine(angle), correctlyRounded(angle)) << std::hexfloat << angle;
        ASSERT_EQ(roundedCosine(-angle), roundedCosine(angle));
    }
    // Angles next to multiples of pi/2, where the reduction cancels most bits.
    for (int k = 1; k <= 4; ++k) {
        double angle = k * 1.5707963267948966;
        for (int i = 0; i < 64; ++i, angle = std::nextafter(angle, 10.0))
            ASSERT_EQ(roundedCosine(angle), correctlyRounded(angle)) << std::hexfloat << angle;
    }
    EXPECT_EQ(roundedCosine(0.0), 1.0);
    EXPECT_TRUE(std::isnan(roundedCosine(INFINITY)));
    EXPECT_TRUE(std::isnan(roundedCosine(NAN)));
}

} // namespace
