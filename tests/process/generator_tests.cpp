// The module's generator and the halving reduction.
#include <gtest/gtest.h>

#include <vector>

#include "process/random_generator.h"

namespace {

std::vector<uint32_t> draws(uint32_t seed, int count) {
    seedRandom(seed);
    std::vector<uint32_t> values;
    for (int i = 0; i < count; ++i) values.push_back(nextRandom());
    return values;
}

TEST(Generator, KnownSequences) {
    EXPECT_EQ(draws(1, 8), (std::vector<uint32_t>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358}));
    EXPECT_EQ(draws(0, 5), (std::vector<uint32_t>{38, 7719, 21238, 2437, 8855}));
}

TEST(Generator, StateWrapsAndResultsStayIn15Bits) {
    // A seed whose first step overflows 32 bits still follows the recurrence.
    seedRandom(0xFFFFFFFFu);
    const uint32_t expected = ((0xFFFFFFFFu * 214013u + 2531011u) >> 16) & 0x7FFF;
    EXPECT_EQ(nextRandom(), expected);
    seedRandom(12345);
    for (int i = 0; i < 100000; ++i) ASSERT_LE(nextRandom(), 32767u);
}

TEST(Generator, HalveWhileAbove) {
    EXPECT_EQ(halveWhileAbove(41, 16), 10u);
    EXPECT_EQ(halveWhileAbove(17, 16), 8u);
    EXPECT_EQ(halveWhileAbove(16, 16), 16u);
    EXPECT_EQ(halveWhileAbove(18467, 16), 9u);
    EXPECT_EQ(halveWhileAbove(0, 16), 0u);
    EXPECT_EQ(halveWhileAbove(32767, 0), 0u);
    // The same as halving one step at a time, for every draw and any limit.
    auto stepwise = [](uint32_t value, uint32_t limit) {
        while (value > limit) value /= 2;
        return value;
    };
    for (uint32_t limit : {0u, 1u, 2u, 3u, 6u, 16u, 24u, 255u, 256u, 300u, 32767u})
        for (uint32_t value = 0; value < 32768; ++value) ASSERT_EQ(halveWhileAbove(value, limit), stepwise(value, limit));
    for (uint32_t value : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 65536u})
        for (uint32_t limit : {0u, 1u, 24u, 0x7FFFFFFFu, 0xFFFFFFFEu})
            EXPECT_EQ(halveWhileAbove(value, limit), stepwise(value, limit)) << value << " " << limit;
    // The looked-up leading bits are the halvings to 31 and to 255.
    for (uint32_t value = 0; value < 32768; ++value) {
        ASSERT_EQ(leadingBits<5>(value), stepwise(value, 31)) << value;
        ASSERT_EQ(leadingBits<8>(value), stepwise(value, 255)) << value;
    }
    // A draw above the limit ends between (limit + 1) / 2 and the limit.
    for (uint32_t limit : {6u, 16u, 24u, 255u, 300u})
        for (uint32_t value = limit + 1; value < 32768; ++value) {
            const uint32_t r = halveWhileAbove(value, limit);
            ASSERT_LE(r, limit);
            ASSERT_GE(r, (limit + 1) / 2);
        }
}

TEST(Generator, FirstFrameValuesOfKnownFrameNumbers) {
    // Frame number 0: flicker 19, jump roll 15, first block grain 165 (20 as
    // film grain), dust roll 152. Frame number 1: 20, 9, 197 (24), 207.
    struct Expected {
        uint32_t frame, flicker, jump, grain, filmGrain, dust;
    };
    for (const Expected &e : {Expected{0, 19, 15, 165, 20, 152}, Expected{1, 20, 9, 197, 24, 207}}) {
        seedRandom(e.frame);
        EXPECT_EQ(halveWhileAbove(nextRandom(), 24), e.flicker);
        EXPECT_EQ(halveWhileAbove(nextRandom(), 16), e.jump);
        const uint32_t grain = halveWhileAbove(nextRandom(), 255);
        EXPECT_EQ(grain, e.grain);
        EXPECT_EQ(halveWhileAbove(grain, 24), e.filmGrain);
        EXPECT_EQ(halveWhileAbove(nextRandom(), 300), e.dust);
    }
    seedRandom(3);
    EXPECT_EQ(halveWhileAbove(nextRandom(), 24), 24u);
    seedRandom(9);
    nextRandom();
    EXPECT_EQ(halveWhileAbove(nextRandom(), 16), 12u);
}

} // namespace
