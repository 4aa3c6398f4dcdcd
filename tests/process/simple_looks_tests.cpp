// The "Static", "RGB" and "Negative" rules.
#include <gtest/gtest.h>

#include <array>

#include "frame_helpers.h"
#include "process/frame_tables.h"
#include "process/mix_channel.h"
#include "process/simple_looks.h"

namespace {

using Colour = std::array<uint8_t, 3>;

class SimpleLooks : public ::testing::Test {
protected:
    Colour apply(Look look, double fade, Colour source, uint16_t grain = 0) {
        SimpleLook rule;
        BlendTable &blend = FrameTables::forModule().blend;
        blend.reset(fade);
        rule.prepare(look, m, fade, blend);
        BlockValues block;
        block.grainValue = grain;
        rule.beginBlock(block);
        Colour out{};
        rule.pixel(source[0], source[1], source[2], out.data());
        return out;
    }
    MixerInstance m = testing_frames::defaultInstance();
};

TEST(LookOf, EffectValues) {
    EXPECT_EQ(lookOf(0), Look::Static);
    EXPECT_EQ(lookOf(1), Look::Rgb);
    EXPECT_EQ(lookOf(2), Look::Film);
    for (int32_t effect : {3, 4, 7, 100, -1, -2147483647 - 1}) EXPECT_EQ(lookOf(effect), Look::Negative);
}

TEST_F(SimpleLooks, StaticBlendsTowardsTheBlockGrey) {
    EXPECT_EQ(apply(Look::Static, 1.0, {1, 2, 3}, 165), (Colour{165, 165, 165}));
    EXPECT_EQ(apply(Look::Static, 0.0, {1, 2, 3}, 165), (Colour{1, 2, 3}));
    EXPECT_EQ(apply(Look::Static, 0.5, {100, 255, 0}, 201), (Colour{150, 228, 100}));
}

TEST_F(SimpleLooks, RgbBlendsTowardsTheColour) {
    m.mixRed = 300;
    m.mixGreen = -20;
    m.mixBlue = 31;
    EXPECT_EQ(apply(Look::Rgb, 1.0, {0, 100, 7}), (Colour{255, 0, 31}));
    EXPECT_EQ(apply(Look::Rgb, 0.3, {200, 1, 1}),
              (Colour{static_cast<uint8_t>(mixChannel(200, 300, 0.3)), 0, 9}));
    EXPECT_EQ(apply(Look::Rgb, 2.5, {100, 200, 0}), (Colour{255, 0, 77}));
}

TEST_F(SimpleLooks, NegativeInvertsByTheFade) {
    for (int c = 0; c < 256; ++c) {
        const uint8_t v = static_cast<uint8_t>(c);
        ASSERT_EQ(apply(Look::Negative, 0.5, {v, v, v}), (Colour{127, 127, 127})) << c;
        ASSERT_EQ(apply(Look::Negative, 1.0, {v, 0, 255}), (Colour{static_cast<uint8_t>(255 - c), 255, 0}));
        ASSERT_EQ(apply(Look::Negative, 0.3, {v, v, v})[0], mixChannel(c, 255 - c, 0.3));
    }
}

} // namespace
