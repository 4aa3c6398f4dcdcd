// The frame number the plug-in gives the module for a host's time, in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frei0r/param_table.h"

namespace {

using kivo::frei0r::frameNumberOf;

TEST(Frei0rFrameNumbers, TimesRoundToTheNearestFrame) {
    // ffmpeg passes a frame's timestamp in milliseconds, pts x time base x
    // 1000, which often lands just below the frame itself: an MP4's 24 fps
    // in 1/12288 s and 30000/1001 fps in 1/30000 s.
    struct Rate {
        double fps;
        int64_t ticksPerFrame;
        double timeBase;
    };
    int below = 0;
    for (const Rate rate : {Rate{24.0, 512, 1.0 / 12288}, Rate{30000.0 / 1001.0, 1001, 1.0 / 30000}})
        for (int32_t frame = 0; frame < 3000; ++frame) {
            const double milliseconds = static_cast<double>(frame * rate.ticksPerFrame) * rate.timeBase * 1000;
            below += milliseconds * 0.001 * rate.fps < frame;
            ASSERT_EQ(frameNumberOf(milliseconds, 0.001, rate.fps), frame) << milliseconds << " ms";
        }
    EXPECT_GT(below, 300); // each must stay on its frame, not fall to the one before

    // Seconds at 24 fps: from half a frame on, the next frame.
    EXPECT_EQ(frameNumberOf(10.49 / 24, 1.0, 24.0), 10);
    EXPECT_EQ(frameNumberOf(10.5 / 24, 1.0, 24.0), 11);
    EXPECT_EQ(frameNumberOf(-0.6 / 24, 1.0, 24.0), -1);
    EXPECT_EQ(frameNumberOf(std::nan(""), 1.0, 24.0), 0);
    EXPECT_EQ(frameNumberOf(1e300, 1.0, 24.0), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(frameNumberOf(-1e300, 1.0, 24.0), std::numeric_limits<int32_t>::min());
}

} // namespace
