// The effect settings panels opened from the main panel's effect choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit_session.h"

namespace kivo::test {
namespace {

using Effects = EditSession;

std::string q(const std::string &text) { return "\"" + text + "\""; }

TEST_F(Effects, RgbPanelShowsTheColourAndStoresTheAcceptedOneAtOnce) {
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB", kMainTitle),
                    UserAction::set("Mix RGB :", "10,20,30", kRgbTitle), UserAction::accept(kRgbTitle),
                    UserAction::cancel(kMainTitle)}),
              0);
    EXPECT_TRUE(driver->problems().empty());
    EXPECT_EQ(settings().mixRed, 10);
    EXPECT_EQ(settings().mixGreen, 20);
    EXPECT_EQ(settings().mixBlue, 30);
    EXPECT_EQ(settings().effect, EFFECT_STATIC); // the main panel was cancelled

    ASSERT_EQ(driver->opened().size(), 2u);
    const host::PanelSnapshot &rgb = driver->opened()[1];
    EXPECT_EQ(rgb.title, kRgbTitle);
    ASSERT_EQ(rgb.controls.size(), 1u);
    EXPECT_EQ(rgb.controls[0].typeName, "MiniRGBControl");
    EXPECT_EQ(rgb.controls[0].shown, "255 255 255");

    const std::string r = q(kRgbTitle), label = q("Mix RGB :");
    const std::vector<std::string> expected = {
        "get " + q(kMainTitle) + " \"Fade using :\" 4 <2> -> 1",
        "createPanel " + r + " 0",
        "addPanelControl " + r + " MiniRGBControl {5} " + label,
        "nextPanelControl " + r + " null -> " + label,
        "set " + r + " " + label + " 4 <5> 255 255 255",
        "openPanel " + r + " 3 -> 1",
        "user " + r + " " + label + " 10 20 30",
        "nextPanelControl " + r + " null -> " + label,
        "get " + r + " " + label + " 4 <5> -> 10 20 30",
        "destroyPanel " + r,
        "drawPanel " + q(kMainTitle) + " 3",
        "destroyPanel " + q(kMainTitle),
    };
    EXPECT_EQ(linesFrom("get " + q(kMainTitle) + " \"Fade using :\" 4"), expected);
}

TEST_F(Effects, CancelledRgbPanelWritesNothingButRedrawsTheMainPanel) {
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB"), UserAction::set("Mix RGB :", "1 2 3"),
                    UserAction::cancel(kRgbTitle), UserAction::accept(kMainTitle)}),
              0);
    EXPECT_EQ(settings().mixRed, 255);
    EXPECT_EQ(settings().mixGreen, 255);
    EXPECT_EQ(settings().mixBlue, 255);
    EXPECT_EQ(settings().effect, EFFECT_RGB);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
}

TEST_F(Effects, ReopeningShowsWhatTheInstanceHoldsByThen) {
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB"), UserAction::set("Mix RGB :", "10,20,30"),
                    UserAction::accept(kRgbTitle), UserAction::set("Fade using :", "Static"),
                    UserAction::set("Fade using :", "RGB"), UserAction::accept(kRgbTitle), UserAction::cancel()}),
              0);
    ASSERT_EQ(driver->opened().size(), 3u);
    EXPECT_EQ(driver->opened()[2].controls[0].shown, "10 20 30");
    EXPECT_EQ(driver->drawn().size(), 3u);
}

TEST_F(Effects, FilmPanelStoresQualityAndSwitchesAsAccepted) {
    settings().focalDisplacement = 4;
    ASSERT_EQ(edit({UserAction::set("Fade using :", "B&W Film"), UserAction::set("B&W Quality :", " Old'n'Dusty "),
                    UserAction::set("White-out", "on"), UserAction::accept(kFilmTitle), UserAction::accept()}),
              0);
    EXPECT_TRUE(driver->problems().empty());
    const MixerInstance &m = settings();
    EXPECT_EQ(m.filmQuality, FILM_OLD_N_DUSTY);
    EXPECT_NE(m.whiteOut, 0);
    EXPECT_EQ(m.sprocketJump, 0);
    EXPECT_EQ(m.sepia, 0);
    EXPECT_EQ(m.vignette, 0);
    EXPECT_EQ(m.outOfFocus, 0);
    EXPECT_EQ(m.focalDisplacement, 4);
    EXPECT_EQ(m.effect, EFFECT_FILM);

    const std::string f = q(kFilmTitle);
    struct Row {
        const char *type, *descriptor, *label;
        int32_t shown;
    };
    const Row rows[] = {
        {"ChoiceControl", R"({9, [" Nice'n'Clean ", " Old'n'Dusty "], 0})", "B&W Quality :", 0},
        {"BoolControl", "{8}", "Sprocket Jump", 0},
        {"BoolControl", "{8}", "White-out", 0},
        {"BoolControl", "{8}", "Sepia Colourise", 0},
        {"BoolControl", "{8}", "Vignette Effect", 0},
        {"BoolControl", "{8}", "'Out of focus' effect", 0},
        {"NumControl", "{2}", "Focal Displacement :", 4},
    };
    std::vector<std::string> expected = {"createPanel " + f + " 0"};
    for (const Row &row : rows)
        expected.push_back("addPanelControl " + f + " " + row.type + " " + row.descriptor + " " + q(row.label));
    std::string previous = "null";
    for (const Row &row : rows) {
        expected.push_back("nextPanelControl " + f + " " + previous + " -> " + q(row.label));
        expected.push_back("set " + f + " " + q(row.label) + " 4 <2> " + std::to_string(row.shown));
        previous = q(row.label);
    }
    expected.push_back("openPanel " + f + " 3 -> 1");
    expected.push_back("user " + f + " \"B&W Quality :\" 1");
    expected.push_back("user " + f + " \"White-out\" 1");
    previous = "null";
    for (const Row &row : rows) {
        const std::string label = row.label;
        const int32_t read = row.shown + (label == "B&W Quality :" || label == "White-out");
        expected.push_back("nextPanelControl " + f + " " + previous + " -> " + q(row.label));
        expected.push_back("get " + f + " " + q(row.label) + " 4 <2> -> " + std::to_string(read));
        previous = q(row.label);
    }
    expected.push_back("destroyPanel " + f);
    expected.push_back("drawPanel " + q(kMainTitle) + " 3");
    const std::vector<std::string> lines = linesFrom("createPanel " + f);
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
}

TEST_F(Effects, FilmPanelAcceptedWritesEvenWhenTheMainPanelIsCancelled) {
    settings().sepia = 5;
    ASSERT_EQ(edit({UserAction::set("Fade using :", "B&W Film"), UserAction::set("Sepia Colourise", "off"),
                    UserAction::set("Focal Displacement :", "-2"), UserAction::accept(kFilmTitle),
                    UserAction::cancel(kMainTitle)}),
              0);
    EXPECT_EQ(settings().sepia, 0);
    EXPECT_EQ(settings().focalDisplacement, -2); // stored as returned
    EXPECT_EQ(settings().effect, EFFECT_STATIC);
}

TEST_F(Effects, CancelledFilmPanelWritesNothing) {
    settings().sprocketJump = 3; // any nonzero value, kept as it is
    const std::vector<int32_t> before = fieldsOf(settings());
    ASSERT_EQ(edit({UserAction::set("Fade using :", "B&W Film"), UserAction::set("Sprocket Jump", "off"),
                    UserAction::set("B&W Quality :", "1"), UserAction::cancel(kFilmTitle), UserAction::cancel()}),
              0);
    EXPECT_EQ(fieldsOf(settings()), before);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
}

TEST_F(Effects, StaticAndNegativeOpenNothingButRedraw) {
    settings().effect = EFFECT_FILM;
    ASSERT_EQ(edit({UserAction::set("Fade using :", "Static"), UserAction::set("Fade using :", "Negative"),
                    UserAction::accept()}),
              0);
    EXPECT_EQ(count(PanelCall::Op::CreatePanel), 1u);
    EXPECT_EQ(count(PanelCall::Op::OpenPanel), 1u);
    EXPECT_EQ(driver->drawn(), (std::vector<std::string>{kMainTitle, kMainTitle}));
    EXPECT_EQ(settings().effect, EFFECT_NEGATIVE);
}

TEST_F(Effects, TheChosenItemDecidesNotTheStoredEffect) {
    settings().effect = EFFECT_RGB;
    ASSERT_EQ(edit({UserAction::set("Fade using :", "B&W Film"), UserAction::cancel(kFilmTitle), UserAction::cancel()}),
              0);
    ASSERT_EQ(driver->opened().size(), 2u);
    EXPECT_EQ(driver->opened()[1].title, kFilmTitle);
    EXPECT_EQ(settings().effect, EFFECT_RGB);
}

TEST_F(Effects, ColourTravelsInTheTripleRecordEverythingElseInTheIntegerOne) {
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB"), UserAction::set("Mix RGB :", "1,2,3"),
                    UserAction::accept(kRgbTitle), UserAction::set("Fade using :", "B&W Film"),
                    UserAction::set("Vignette Effect", "yes"), UserAction::accept(kFilmTitle), UserAction::accept()}),
              0);
    size_t exchanges = 0;
    for (const PanelCall &call : services.log().calls()) {
        if (call.op != PanelCall::Op::GetAttribute && call.op != PanelCall::Op::SetAttribute) continue;
        ++exchanges;
        const bool colour = call.control == "Mix RGB :" && call.code == CTAG_VALUE;
        EXPECT_EQ(call.valueType, colour ? VALUE_INTEGER_TRIPLE : VALUE_INTEGER) << call.line();
    }
    EXPECT_GT(exchanges, 60u);
    EXPECT_EQ(settings().vignette, 1);
    EXPECT_EQ(settings().mixBlue, 3);
}

} // namespace
} // namespace kivo::test
