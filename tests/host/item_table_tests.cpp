// Keyframed scene items as the "LW Item Info" service reports them.
#include <gtest/gtest.h>

#include "host/core/item_info.h"

namespace {

using namespace kivo::host;

TEST(ItemTable, InterpolatesLinearlyAndHoldsTheEnds) {
    ItemTable table;
    table.setItem({7, "Fader", {{2.0, {10, 0, 0}, {1, 1, 1}}, {0.0, {0, 0, 0}, {0, 0.5, 2}}}});
    double out[3];
    EXPECT_EQ(table.param(7, ITEM_PARAM_POSITION, 1.0, out), 1);
    EXPECT_DOUBLE_EQ(out[0], 5.0);
    table.param(7, ITEM_PARAM_SCALING, -1.0, out); // before the first key
    EXPECT_DOUBLE_EQ(out[1], 0.5);
    table.param(7, ITEM_PARAM_SCALING, 9.0, out); // after the last key
    EXPECT_DOUBLE_EQ(out[2], 1.0);
    table.param(7, ITEM_PARAM_SCALING, 1.5, out);
    EXPECT_DOUBLE_EQ(out[0], 0.75);
    EXPECT_DOUBLE_EQ(out[2], 1.25);
}

TEST(ItemTable, UnknownItemsGiveZerosAndEveryCallIsRecorded) {
    ItemTable table;
    double out[3] = {9, 9, 9};
    EXPECT_EQ(table.param(3, ITEM_PARAM_SCALING, 0.5, out), 0);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[2], 0.0);
    table.setItem({3, "A", {{0.0, {1, 2, 3}, {4, 5, 6}}}});
    EXPECT_EQ(table.param(3, 99, 0.5, out), 0);
    ASSERT_EQ(table.calls().size(), 2u);
    EXPECT_EQ(table.calls()[1], (ParamCall{3, 99, 0.5}));
}

TEST(ItemTable, TheServiceReadsTheInstalledTable) {
    ItemTable table;
    table.setItem({5, "A", {{0.0, {1, 2, 3}, {4, 5, 6}}}});
    double out[3];
    EXPECT_EQ(ItemTable::service()->param(5, ITEM_PARAM_POSITION, 0.0, out), 0); // nothing installed
    {
        ScopedItemTable installed(table);
        EXPECT_EQ(ItemTable::service()->param(5, ITEM_PARAM_POSITION, 0.0, out), 1);
        EXPECT_DOUBLE_EQ(out[1], 2.0);
    }
    EXPECT_EQ(ItemTable::service()->param(5, ITEM_PARAM_POSITION, 0.0, out), 0);
}

} // namespace
