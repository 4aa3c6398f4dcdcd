// mixChannel and the per-frame tables of its results.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "process/blend_table.h"
#include "process/mix_channel.h"

namespace {

TEST(MixChannel, TruncatesTheDoubleSum) {
    EXPECT_EQ(mixChannel(10, 0, 0.9), 0); // 0.9999999999999998
    EXPECT_EQ(mixChannel(1, 31, 0.3), 9); // 9.999999999999998
    EXPECT_EQ(mixChannel(100, 201, 0.5), 150);
    EXPECT_EQ(mixChannel(200, 255, 0.3), 216);
    EXPECT_EQ(mixChannel(100, 40, 0.5), 70);
}

TEST(MixChannel, ClampsToByteRange) {
    EXPECT_EQ(mixChannel(200, 0, 2.5), 0);     // -300
    EXPECT_EQ(mixChannel(100, 255, 2.5), 255); // 487.5
    EXPECT_EQ(mixChannel(0, 300, 1.0), 255);
    EXPECT_EQ(mixChannel(0, -5, 1.0), 0);
    EXPECT_EQ(mixChannel(0, 1, -0.5), 0); // -0.5 truncates to 0
    for (int from = 0; from < 256; ++from) {
        EXPECT_EQ(mixChannel(from, 77, 0.0), from);
        EXPECT_EQ(mixChannel(from, 77, 1.0), 77);
    }
    EXPECT_EQ(mixChannel(120, 38, 0.5), 79);
}

TEST(MixChannel, SumsBeyondThe32BitRangeStayInBytes) {
    EXPECT_EQ(mixChannel(0, 255, 1e10), 255);
    EXPECT_EQ(mixChannel(255, 0, 1e10), 0);
    EXPECT_EQ(mixChannel(2147483647, 2147483647, 1.0), 255);
    EXPECT_EQ(mixChannel(-2147483647 - 1, 0, 0.0), 0);
    EXPECT_EQ(mixChannel(10, 20, 1e300), 255);
    EXPECT_EQ(mixChannel(20, 10, 1e300), 0);
    EXPECT_EQ(mixChannel(20, 10, -1e300), 255);
    EXPECT_EQ(mixChannel(10, 10, std::numeric_limits<double>::max()), 10);
}

TEST(MixChannel, NonFiniteAmounts) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // An infinite amount goes all the way towards the target (or away).
    EXPECT_EQ(mixChannel(0, 100, inf), 255);
    EXPECT_EQ(mixChannel(100, 0, inf), 0);
    EXPECT_EQ(mixChannel(100, 0, -inf), 255);
    EXPECT_EQ(mixChannel(0, 100, -inf), 0);
    EXPECT_EQ(mixChannel(0, 0, inf), 0);
    EXPECT_EQ(mixChannel(77, 77, inf), 77);
    // A NaN amount keeps the source value.
    EXPECT_EQ(mixChannel(77, 200, nan), 77);
    EXPECT_EQ(mixChannel(300, 0, nan), 255);
    EXPECT_EQ(mixChannel(-3, 0, nan), 0);
    for (double amount : {inf, -inf, nan})
        for (int from : {-1000, 0, 1, 128, 255, 70000})
            for (int to : {-1000, 0, 16, 255, 70000}) {
                const int r = mixChannel(from, to, amount);
                ASSERT_GE(r, 0);
                ASSERT_LE(r, 255);
            }
}

TEST(BlendTable, EveryEntryIsTheMixResult) {
    static BlendTable table; // large: not on the stack
    for (double amount : {0.0, 0.3, 0.5, 0.9, 1.0, 2.5, -0.25, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()}) {
        table.reset(amount);
        for (int to = 0; to < 256; ++to)
            for (int from = 0; from < 256; ++from)
                ASSERT_EQ(table.blend(static_cast<uint8_t>(from), static_cast<uint8_t>(to)),
                          mixChannel(from, to, amount))
                    << "amount " << amount << " from " << from << " to " << to;
    }
    // A reset drops rows filled for the previous amount.
    table.reset(0.0);
    EXPECT_EQ(table.blend(10, 200), 10);
    table.reset(1.0);
    EXPECT_EQ(table.blend(10, 200), 200);

    uint8_t row[256];
    fillBlendRow(row, 300, 1.0);
    EXPECT_EQ(row[0], 255);
    fillBlendRow(row, -40, 0.5);
    EXPECT_EQ(row[100], 30);
    EXPECT_EQ(row[20], 0);
}

} // namespace

// The branch-free form the vignette and blend rows use, against mixChannel:
// amounts of every sign up to the largest it takes, targets beyond the byte
// range. Larger and non-finite amounts must take the other form.
TEST(MixChannel, BranchFreeFormAgreesWhereItIsUsed) {
    EXPECT_FALSE(mixSumIsFinite(0x1p53));
    EXPECT_FALSE(mixSumIsFinite(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(mixSumIsFinite(std::numeric_limits<double>::quiet_NaN()));
    const double amounts[] = {0.0, -0.0, 1e-300, 0.4, 0.5, 0.9, 1.0, 1.0 + 1e-16, -1e-16, 3.7, -2.5, 1e6, -1e15,
                              0x1p52, -0x1p52, std::numeric_limits<double>::denorm_min()};
    const int32_t targets[] = {0, 16, 255, 256, -1, 100000, INT32_MIN, INT32_MAX};
    int64_t differing = 0;
    for (double amount : amounts) {
        ASSERT_TRUE(mixSumIsFinite(amount)) << amount;
        for (int32_t to : targets)
            for (int32_t from = 0; from < 256; ++from)
                differing += mixChannelOfModerate(from, to, amount) != mixChannel(from, to, amount);
    }
    EXPECT_EQ(differing, 0);
}
