// The out-of-focus smear: composed chains against blending sample by sample.
#include <gtest/gtest.h>

#include <vector>

#include "process/frame_tables.h"
#include "process/mix_channel.h"
#include "process/out_of_focus.h"
#include "reference_filter.h"

namespace {

struct SourceRow {
    std::vector<uint8_t> red, green, blue;
    explicit SourceRow(int32_t width, uint32_t seed) : red(width), green(width), blue(width) {
        reference::Generator noise{seed};
        for (int32_t x = 0; x < width; ++x) {
            red[x] = static_cast<uint8_t>(noise.next());
            green[x] = static_cast<uint8_t>(noise.next());
            blue[x] = static_cast<uint8_t>(noise.next());
        }
        // Flat stretches too, where chains stop narrowing.
        for (int32_t x = width / 3; x < width / 2; ++x) red[x] = green[x] = blue[x] = 200;
    }
    uint8_t direct(uint8_t v, int64_t x, int64_t d) const {
        for (int64_t k = x - d; k > d; k -= d)
            v = static_cast<uint8_t>(mixChannel(v, smearLuminance(red[k], green[k], blue[k]), 0.4));
        return v;
    }
};

TEST(SmearSteps, TablesMatchTheBlend) {
    const SmearSteps &steps = SmearSteps::get();
    for (int32_t l = 0; l < 256; ++l)
        for (int32_t v = 0; v < 256; ++v) {
            ASSERT_EQ(steps.step(static_cast<uint8_t>(v), l), mixChannel(v, l, 0.4));
            const uint16_t least = steps.leastReaching(l, static_cast<uint8_t>(v));
            if (least < 256) {
                ASSERT_GE(steps.step(static_cast<uint8_t>(least), l), v);
            }
            if (least > 0 && least < 257) {
                ASSERT_LT(steps.step(static_cast<uint8_t>(least - 1), l), v);
            }
        }
}

TEST(SmearChain, EqualsItsBlendsAppliedOneByOne) {
    const SmearSteps &steps = SmearSteps::get();
    reference::Generator noise{99};
    for (int trial = 0; trial < 20; ++trial) {
        SmearChain chain;
        std::vector<int32_t> blends; // applied last first
        for (int n = 0; n < 40; ++n) {
            const int32_t l = trial % 4 == 0 ? 255 : static_cast<int32_t>(noise.next() & 255);
            chain.extend(l, steps);
            blends.insert(blends.begin(), l);
            for (int32_t v = 0; v < 256; ++v) {
                int32_t want = v;
                for (int32_t b : blends) want = mixChannel(want, b, 0.4);
                ASSERT_EQ(chain.apply(static_cast<uint8_t>(v), steps), want) << trial << " " << n << " " << v;
            }
        }
    }
}

TEST(OutOfFocus, RowsVisitedInOrderUseChains) {
    OutOfFocus &smear = FrameTables::forModule().outOfFocus;
    const int32_t width = 700;
    const SourceRow row(width, 5);
    // Up to 100: classes of a few columns, still in their first blends.
    for (int64_t d : {1, 2, 3, 5, 10, 22, 100}) {
        smear.prepare(width, d);
        SmearRow *slot = smear.rowSlot(4);
        ASSERT_NE(slot, nullptr) << d;
        for (int64_t x = 0; x < width; ++x) {
            const uint8_t v = static_cast<uint8_t>(x * 37 + d);
            ASSERT_EQ(smear.smear(v, slot, 4, row.red.data(), row.green.data(), row.blue.data(), x),
                      row.direct(v, x, d))
                << "d " << d << " x " << x;
        }
        EXPECT_EQ(slot->nextX, width);
    }
    // Displacements with no room for one row's chains are blended directly.
    smear.prepare(width, OutOfFocus::kChainCapacity + 1);
    EXPECT_EQ(smear.rowSlot(0), nullptr);
}

TEST(OutOfFocus, InterleavedRowsSharedSlotsAndOddOrders) {
    // Three rows visited in blocks of 5 columns, row after row, the way grain
    // blocks visit them; with displacement 64 the slots wrap every 64 rows,
    // so rows 0 and 64 share one. Every result must equal the direct blend.
    OutOfFocus &smear = FrameTables::forModule().outOfFocus;
    const int32_t width = 64 * 64;
    const int64_t d = 64;
    smear.prepare(width, d);
    const std::vector<int64_t> rows = {0, 64, 1};
    std::vector<SourceRow> sources;
    for (int64_t y : rows) sources.emplace_back(width, static_cast<uint32_t>(y + 1));
    for (int64_t x0 = 0; x0 < width; x0 += 5)
        for (size_t r = 0; r < rows.size(); ++r)
            for (int64_t x = x0; x < std::min<int64_t>(x0 + 5, width); ++x) {
                const SourceRow &s = sources[r];
                const uint8_t v = static_cast<uint8_t>(x ^ rows[r]);
                ASSERT_EQ(smear.smear(v, smear.rowSlot(rows[r]), rows[r], s.red.data(), s.green.data(),
                                      s.blue.data(), x),
                          s.direct(v, x, d))
                    << "row " << rows[r] << " x " << x;
            }

    // A row whose first visit does not start at column 0, and one that skips columns.
    smear.prepare(700, 2);
    const SourceRow s(700, 8);
    for (int64_t x = 300; x < 700; ++x)
        ASSERT_EQ(smear.smear(9, smear.rowSlot(7), 7, s.red.data(), s.green.data(), s.blue.data(), x), s.direct(9, x, 2));
    for (int64_t x = 0; x < 700; x += (x == 100 ? 7 : 1))
        ASSERT_EQ(smear.smear(200, smear.rowSlot(8), 8, s.red.data(), s.green.data(), s.blue.data(), x),
                  s.direct(200, x, 2));
}

} // namespace
