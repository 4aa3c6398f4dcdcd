// Frame numbers from a frame's time, as each host computes the time, and the
// parameters' conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frei0r/param_table.h"
#include "host/core/frame_time.h"

namespace {

using kivo::host::frameNumberOfFrame;
using kivo::host::frameNumberOfMilliseconds;

// Each host's time for frame n of a rate num/den, as milliseconds: ffmpeg's
// pts x time base x 1000 (an MP4's time base, or the rate's own), MLT's
// position / fps in seconds, GStreamer's whole nanoseconds in seconds.
struct Rate {
    int64_t num, den;
    int64_t mp4Ticks; // time base 1/mp4Ticks
};

TEST(Frei0rFrameNumbers, EveryHostGivesEachFrameItsOwnNumber) {
    const Rate rates[] = {{24000, 1001, 24000}, {24, 1, 12288}, {25, 1, 12800}, {30000, 1001, 30000},
                          {30, 1, 15360},       {50, 1, 12800}, {60, 1, 15360}};
    for (const Rate rate : rates) {
        const double fps = static_cast<double>(rate.num) / rate.den;
        int32_t previous = -1;
        for (int64_t n = 0; n < 200000; n += n < 3000 ? 1 : 97) { // the first 2 minutes, then across 2 hours
            const int64_t mp4Pts = n * rate.den * rate.mp4Ticks / rate.num;
            const double times[] = {
                static_cast<double>(mp4Pts) * (1.0 / rate.mp4Ticks) * 1000,
                static_cast<double>(n) * (static_cast<double>(rate.den) / rate.num) * 1000,
                static_cast<double>(n) / fps * 1000,
                static_cast<double>((n * rate.den * 1000000000 + rate.num / 2) / rate.num) / 1e9 * 1000,
            };
            const std::optional<int32_t> number = frameNumberOfFrame(static_cast<double>(n), fps);
            ASSERT_TRUE(number);
            for (const double milliseconds : times)
                ASSERT_EQ(frameNumberOfMilliseconds(milliseconds), number) << fps << " fps, frame " << n;
            ASSERT_GT(*number, previous) << fps << " fps, frame " << n;
            previous = *number;
        }
    }
    // Half-way between two milliseconds rounds down; from 0.501 on, up.
    EXPECT_EQ(frameNumberOfFrame(15, 30000.0 / 1001), 500);
    EXPECT_EQ(frameNumberOfMilliseconds(500.502), 501);
    EXPECT_EQ(frameNumberOfMilliseconds(2147483647.0), std::numeric_limits<int32_t>::max());
    for (const double bad : {-0.001, std::nan(""), double(INFINITY), -double(INFINITY), 2147483647.6, 1.8446744073709552e13})
        EXPECT_FALSE(frameNumberOfMilliseconds(bad)) << bad;
}

TEST(Frei0rParams, NormalisedValuesAndTheirSettings) {
    using namespace kivo::frei0r;
    int checked = 0;
    for (int i = 0; i < paramCount(); ++i) {
        const Param &param = paramAt(i);
        if (param.kind != ParamKind::Number) continue;
        const SettingSpan &span = param.settings[0];
        // Every setting of the span comes back from its own normalised value.
        for (int32_t setting = span.low; setting <= span.high; ++setting)
            ASSERT_EQ(settingOfNormalised(normalisedOfSetting(setting, span), span), setting) << param.name;
        EXPECT_EQ(settingOfNormalised(0.0, span), span.low) << param.name; // 0 pixels count as 1
        EXPECT_EQ(settingOfNormalised(1.0, span), 64) << param.name;
        EXPECT_FALSE(settingOfNormalised(1.0001, span)) << param.name;
        EXPECT_FALSE(settingOfNormalised(-0.0001, span)) << param.name;
        EXPECT_FALSE(settingOfNormalised(std::nan(""), span)) << param.name;
        ++checked;
    }
    EXPECT_EQ(checked, 3); // grain width and height, focal displacement
}

} // namespace
