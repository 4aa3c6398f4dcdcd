// The fade amount read through the saved item information service.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "process/fade_amount.h"

namespace {

struct ParamCall {
    int32_t item;
    int32_t code;
    double time;
};

std::vector<ParamCall> gCalls;
double gScale[3];
double gPosition[3];

int32_t recordingParam(int32_t item, int32_t code, double time, double out[3]) {
    gCalls.push_back({item, code, time});
    const double *source = code == ITEM_PARAM_POSITION ? gPosition : gScale;
    for (int i = 0; i < 3; ++i) out[i] = source[i];
    return 1;
}

int32_t silentParam(int32_t, int32_t, double, double *) { return 0; }

class FadeAmount : public ::testing::Test {
protected:
    void SetUp() override {
        service = ItemInfoService{};
        service.param = recordingParam;
        itemInfo = &service;
        gCalls.clear();
        for (int i = 0; i < 3; ++i) gScale[i] = gPosition[i] = 0.0;
        m = MixerInstance{};
        m.controlItem = 7;
        m.fadeDivisor = 1;
        access = FrameAccess{};
        access.time = 1.25;
    }
    double fade() { return computeFadeAmount(m, access, itemInfo); }

    const ItemInfoService *itemInfo = nullptr; // as the entry hands it over
    ItemInfoService service{};
    MixerInstance m{};
    FrameAccess access{};
};

TEST_F(FadeAmount, NoControlObjectMakesNoCall) {
    m.controlItem = 0;
    gScale[0] = 0.7;
    EXPECT_EQ(fade(), 0.0);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(FadeAmount, ReadsTheChosenVectorAtTheFrameTime) {
    m.fadeAxis = AXIS_Y;
    gScale[1] = 0.5;
    EXPECT_EQ(fade(), 0.5);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].item, 7);
    EXPECT_EQ(gCalls[0].code, ITEM_PARAM_SCALING);
    EXPECT_EQ(gCalls[0].time, 1.25);

    m.fadeChannel = FADE_COORDS;
    m.fadeAxis = AXIS_Z;
    m.fadeDivisor = 10;
    gPosition[2] = 25.0;
    EXPECT_EQ(fade(), 1.0); // 2.5 clamped
    EXPECT_EQ(gCalls.back().code, ITEM_PARAM_POSITION);

    // Any channel value other than 1 reads the scale.
    m.fadeChannel = 2;
    m.fadeAxis = AXIS_X;
    m.fadeDivisor = 1;
    gScale[0] = 0.25;
    EXPECT_EQ(fade(), 0.25);
    EXPECT_EQ(gCalls.back().code, ITEM_PARAM_SCALING);
    gScale[0] = 1.0;
    EXPECT_EQ(fade(), 1.0);
    EXPECT_EQ(gCalls.size(), 4u);
}

TEST_F(FadeAmount, NegativeValues) {
    m.fadeChannel = FADE_COORDS;
    m.fadeDivisor = 10;
    gPosition[0] = -3.0;
    EXPECT_EQ(fade(), 0.0);
    m.allowNegatives = 1;
    EXPECT_EQ(fade(), 0.3);
    // The clamp at 1 comes before the sign rule, so this exceeds 1.
    gPosition[0] = -25.0;
    EXPECT_EQ(fade(), 2.5);
    m.allowNegatives = -9; // any non-zero value allows them
    EXPECT_EQ(fade(), 2.5);
}

TEST_F(FadeAmount, NegativeDivisorFlipsTheSign) {
    m.fadeDivisor = -4;
    gScale[0] = -2.0;
    EXPECT_EQ(fade(), 0.5);
    gScale[0] = 2.0;
    EXPECT_EQ(fade(), 0.0);
}

TEST_F(FadeAmount, RecordsNoPanelStoresGiveNoFade) {
    gScale[0] = gScale[1] = gScale[2] = 0.5;
    for (int32_t axis : {-1, 3, 1000, -2147483647 - 1}) {
        m.fadeAxis = axis;
        EXPECT_EQ(fade(), 0.0) << axis;
    }
    m.fadeAxis = AXIS_X;
    m.fadeDivisor = 0;
    EXPECT_EQ(fade(), 0.0);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(FadeAmount, MissingServiceOrSilentHost) {
    gScale[0] = 0.5;
    itemInfo = nullptr;
    EXPECT_EQ(fade(), 0.0);
    service.param = nullptr;
    itemInfo = &service;
    EXPECT_EQ(fade(), 0.0);
    EXPECT_TRUE(gCalls.empty());
    // A host that fills nothing reads as a zero vector.
    service.param = silentParam;
    EXPECT_EQ(fade(), 0.0);
}

TEST_F(FadeAmount, NonFiniteComponents) {
    gScale[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(fade(), 0.0);
    gScale[0] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(fade(), 1.0);
    gScale[0] = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(fade(), 0.0);
    m.allowNegatives = 1;
    EXPECT_EQ(fade(), std::numeric_limits<double>::infinity());
}

} // namespace
