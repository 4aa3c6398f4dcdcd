// The frame pass allocates nothing: every operator new in this test binary
// is counted while frames run on a host whose callbacks allocate nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "frame_helpers.h"
#include "process/frame_pass.h"

namespace {
long gAllocations = 0;
}

void *operator new(std::size_t size) {
    ++gAllocations;
    if (void *p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int32_t kWidth = 300;
constexpr int32_t kHeight = 40;
uint8_t gRows[4][kWidth];
uint8_t gOut[kHeight][kWidth][4];

const uint8_t *getLine(int32_t type, int32_t) { return gRows[type - RTYPE_RED]; }
void setRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    for (int c = 0; c < 3; ++c) gOut[y][x][c] = rgb[c];
}
void setAlpha(int32_t x, int32_t y, uint8_t a) { gOut[y][x][3] = a; }
void monitorInit(void *, int32_t) {}
int32_t monitorStep(void *, int32_t) { return 0; }
void monitorDone(void *) {}

TEST(FramePassMemory, NoAllocationInAnyLook) {
    for (int32_t x = 0; x < kWidth; ++x)
        for (int t = 0; t < 4; ++t) gRows[t][x] = static_cast<uint8_t>(x * (t + 3));
    ProgressMonitor monitor{nullptr, monitorInit, monitorStep, monitorDone};
    FrameAccess access{};
    access.width = kWidth;
    access.height = kHeight;
    access.getLine = getLine;
    access.setRGB = setRGB;
    access.setAlpha = setAlpha;
    access.monitor = &monitor;

    MixerInstance m = testing_frames::defaultInstance();
    m.filmQuality = m.sprocketJump = m.whiteOut = m.sepia = m.vignette = m.outOfFocus = 1;
    for (int32_t effect : {0, 1, 2, 3})
        for (int32_t focal : {1, 50}) {
            m.effect = effect;
            m.focalDisplacement = focal;
            m.grainHeight = focal == 1 ? 1 : 3;
            access.frame = 9;
            const long before = gAllocations;
            processFrame(&m, &access, nullptr);
            processFrame(&m, &access, nullptr);
            EXPECT_EQ(gAllocations, before) << "effect " << effect;
        }
    EXPECT_EQ(gOut[0][0][3], gRows[3][0]);
}

} // namespace
