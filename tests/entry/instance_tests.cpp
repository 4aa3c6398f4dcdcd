// Instance callbacks and the settings table they are built from.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "instance/mixer_instance.h"
#include "instance/settings_table.h"

namespace {

MixerInstance *newInstance() { return static_cast<MixerInstance *>(createInstance(nullptr)); }

TEST(MixerInstance, NewInstanceHoldsTheDefaults) {
    MixerInstance *m = newInstance();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->grainWidth, 1);
    EXPECT_EQ(m->grainHeight, 1);
    EXPECT_EQ(m->controlItem, 0);
    EXPECT_EQ(m->fadeDivisor, 1);
    EXPECT_EQ(m->fadeChannel, FADE_SCALE);
    EXPECT_EQ(m->fadeAxis, AXIS_X);
    EXPECT_EQ(m->allowNegatives, 0);
    EXPECT_EQ(m->mixRed, 255);
    EXPECT_EQ(m->mixGreen, 255);
    EXPECT_EQ(m->mixBlue, 255);
    EXPECT_EQ(m->effect, EFFECT_STATIC);
    EXPECT_EQ(m->filmQuality, FILM_NICE_N_CLEAN);
    EXPECT_EQ(m->sprocketJump, 0);
    EXPECT_EQ(m->whiteOut, 0);
    EXPECT_EQ(m->sepia, 0);
    EXPECT_EQ(m->vignette, 0);
    EXPECT_EQ(m->outOfFocus, 0);
    EXPECT_EQ(m->focalDisplacement, 1);
    EXPECT_STREQ(describeInstance(m), "Kivo Video Mixer (FX:STATIC)");
    destroyInstance(m);
}

TEST(MixerInstance, DescriptionFollowsTheEffectWithNegativeAsFallback) {
    MixerInstance *m = newInstance();
    const std::pair<int32_t, const char *> cases[] = {
        {0, "Kivo Video Mixer (FX:STATIC)"},     {1, "Kivo Video Mixer (FX:RGB)"},
        {2, "Kivo Video Mixer (FX:B&W FILM)"},   {3, "Kivo Video Mixer (FX:NEGATIVE)"},
        {4, "Kivo Video Mixer (FX:NEGATIVE)"},   {100, "Kivo Video Mixer (FX:NEGATIVE)"},
        {-1, "Kivo Video Mixer (FX:NEGATIVE)"},  {INT32_MIN, "Kivo Video Mixer (FX:NEGATIVE)"},
    };
    for (const auto &[effect, text] : cases) {
        m->effect = effect;
        EXPECT_STREQ(describeInstance(m), text) << "effect " << effect;
    }
    destroyInstance(m);
}

TEST(MixerInstance, CopyIsSourceFirstAndIndependent) {
    MixerInstance *a = newInstance();
    MixerInstance *b = newInstance();
    for (int i = 0; i < kSettingCount; ++i) settingField(*a, i) = 1000 + i;
    EXPECT_EQ(copyInstance(a, b), 0);
    EXPECT_EQ(std::memcmp(a, b, sizeof(MixerInstance)), 0);
    a->effect = 7;
    EXPECT_EQ(b->effect, 1010);
    EXPECT_EQ(copyInstance(b, b), 0);
    EXPECT_EQ(b->effect, 1010);
    destroyInstance(a);
    destroyInstance(b);
}

TEST(MixerInstance, FlagsAreZeroAndDestroyingNullIsHarmless) {
    MixerInstance *m = newInstance();
    m->effect = 2;
    m->sprocketJump = -1;
    EXPECT_EQ(instanceFlags(m), 0);
    EXPECT_EQ(instanceFlags(nullptr), 0);
    destroyInstance(m);
    destroyInstance(nullptr);
}

TEST(SettingsTable, OrdersAreEachAPermutation) {
    std::set<int> stored;
    std::set<size_t> memory;
    MixerInstance m{};
    for (const SettingInfo &s : kSettings) {
        stored.insert(s.facts.storedPosition);
        memory.insert(static_cast<size_t>(&(m.*s.field) - &m.grainWidth));
    }
    EXPECT_EQ(stored.size(), 18u);
    EXPECT_EQ(*stored.begin(), 1);
    EXPECT_EQ(*stored.rbegin(), 18);
    EXPECT_EQ(memory.size(), 18u);
    // The stored order starts with the control item and ends with the focal displacement.
    EXPECT_STREQ(kSettings[kStoredOrder[0]].facts.name, "controlItem");
    EXPECT_STREQ(kSettings[kStoredOrder[7]].facts.name, "effect");
    EXPECT_STREQ(kSettings[kStoredOrder[17]].facts.name, "focalDisplacement");
}

TEST(SettingsTable, NamesFindTheirFields) {
    MixerInstance m{};
    const SettingInfo *divisor = findSetting("fadeDivisor");
    ASSERT_NE(divisor, nullptr);
    m.*divisor->field = 42;
    EXPECT_EQ(m.fadeDivisor, 42);
    EXPECT_EQ(findSetting("noSuchSetting"), nullptr);
}

} // namespace
