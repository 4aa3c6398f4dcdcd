// The main options panel through the loaded module: what is built, shown and
// written back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit_session.h"
#include "host/core/global_services.h"

namespace kivo::test {
namespace {

using Main = EditSession;

struct MainControl {
    const char *typeName;
    const char *descriptor;
    const char *label;
};

const MainControl kMainControls[] = {
    {"NumControl", "{2}", "Pixel Grain Height :"},
    {"NumControl", "{2}", "Pixel Grain Width :"},
    {"LWListControl", "{16, ptr, 0, 0, 0}", "Fade Control Object :"},
    {"ChoiceControl", R"({9, ["Scale", "Co-ords"], 0})", "Fade Using :"},
    {"ChoiceControl", R"({9, [" X ", " Y ", " Z "], 0})", "Fade on value of :"},
    {"NumControl", "{2}", "Divide Value by :"},
    {"ChoiceControl", R"({9, [" No ", " Yes "], 0})", "Allow Negatives :"},
    {"ChoiceControl", R"({9, [" Static ", "   RGB   ", "B&W Film", " Negative "], 0})", "Fade using :"},
};

std::string q(const std::string &text) { return "\"" + text + "\""; }

TEST_F(Main, BuildsLaysOutOpensAndDestroysThePanelInOrder) {
    MixerInstance &m = settings();
    m.grainHeight = 3;
    m.grainWidth = 5;
    m.controlItem = kFaderId;
    m.fadeChannel = 1;
    m.fadeAxis = 2;
    m.fadeDivisor = 4;
    m.allowNegatives = 1;
    m.effect = 2;
    const int32_t shown[8] = {3, 5, kFaderId, 1, 2, 4, 1, 2};

    ASSERT_EQ(edit({UserAction::cancel()}), 0);

    // The host gives each label 8 units per character and places controls
    // 28 apart from 4 down; the widest label is "Fade Control Object :".
    const std::string t = q(kMainTitle);
    std::vector<std::string> expected = {"createPanel " + t + " 0"};
    for (const MainControl &c : kMainControls)
        expected.push_back("addPanelControl " + t + " " + c.typeName + " " + c.descriptor + " " + q(c.label));
    std::string previous = "null";
    for (const MainControl &c : kMainControls) {
        expected.push_back("nextPanelControl " + t + " " + previous + " -> " + q(c.label));
        const size_t width = 8 * std::string(c.label).size();
        expected.push_back("get " + t + " " + q(c.label) + " 9 <2> -> " + std::to_string(width));
        previous = q(c.label);
    }
    expected.push_back("nextPanelControl " + t + " " + previous + " -> null");
    previous = "null";
    for (int i = 0; i < 8; ++i) {
        const std::string label = q(kMainControls[i].label);
        const int32_t width = 8 * static_cast<int32_t>(std::string(kMainControls[i].label).size());
        const int32_t y = 4 + 28 * i;
        expected.push_back("nextPanelControl " + t + " " + previous + " -> " + label);
        expected.push_back("set " + t + " " + label + " 4 <2> " + std::to_string(shown[i]));
        expected.push_back("get " + t + " " + label + " 1 <2> -> " + std::to_string(y));
        expected.push_back("get " + t + " " + label + " 9 <2> -> " + std::to_string(width));
        expected.push_back("set " + t + " " + label + " 0 <2> " + std::to_string(168 - width));
        expected.push_back("set " + t + " " + label + " 1 <2> " + std::to_string(y));
        previous = label;
    }
    expected.push_back("set " + t + " " + previous + " 14 <2> ptr");
    expected.push_back("set " + t + " " + previous + " 16 <2> ptr");
    expected.push_back("get " + t + " " + previous + " 3 <2> -> 20");
    expected.push_back("setPanelAttribute " + t + " 3 260");
    expected.push_back("openPanel " + t + " 3 -> 0");
    expected.push_back("destroyPanel " + t);
    EXPECT_EQ(services.log().lines(), expected);
    EXPECT_TRUE(services.panels().empty());
    EXPECT_TRUE(driver->problems().empty());
}

TEST_F(Main, SceneItemDescriptorCarriesTheHostLookupAndUnusedWordsAreLeftAlone) {
    ASSERT_EQ(edit({UserAction::cancel()}), 0);
    std::vector<const PanelCall *> adds;
    for (const PanelCall &call : services.log().calls())
        if (call.op == PanelCall::Op::AddPanelControl) adds.push_back(&call);
    ASSERT_EQ(adds.size(), 8u);
    EXPECT_EQ(adds[2]->descriptor.word1.lookup, &host::hostGlobalLookup);
    // "Divide Value by :" follows the axis choice: words 1 to 4 keep what that
    // addition (and the scene item before it) left.
    EXPECT_EQ(adds[5]->descriptor.type, VALUE_INTEGER);
    EXPECT_EQ(adds[5]->descriptor.word1.pointer, adds[4]->descriptor.word1.pointer);
    EXPECT_NE(adds[5]->descriptor.word1.pointer, nullptr);
    // The first control sees the descriptor as loaded: all zero but its type.
    EXPECT_EQ(adds[0]->descriptor.word1.pointer, nullptr);
}

TEST_F(Main, ShowsTheInstanceWithLabelsAlignedAndThePanelSizedBelowTheEffectChoice) {
    settings().grainHeight = 3;
    settings().grainWidth = 5;
    settings().effect = 3;
    ASSERT_EQ(edit({UserAction::cancel()}), 0);
    ASSERT_EQ(driver->opened().size(), 1u);
    const host::PanelSnapshot &panel = driver->opened()[0];
    EXPECT_EQ(panel.title, kMainTitle);
    ASSERT_EQ(panel.controls.size(), 8u);
    EXPECT_EQ(panel.controls[0].label, "Pixel Grain Height :");
    EXPECT_EQ(panel.controls[0].value.scalar, 3);
    EXPECT_EQ(panel.controls[1].label, "Pixel Grain Width :");
    EXPECT_EQ(panel.controls[1].value.scalar, 5);
    EXPECT_EQ(panel.controls[7].shown, "Negative");
    EXPECT_EQ(panel.controls[2].shown, "(none)");

    for (const host::ControlSnapshot &c : panel.controls) EXPECT_EQ(c.x + c.labelWidth, 168) << c.label;
    EXPECT_EQ(panel.find("Fade Control Object :")->x, 0);
    EXPECT_EQ(panel.find("Fade using :")->x, 72);
    EXPECT_EQ(panel.find("Fade using :")->y, 200);
    EXPECT_EQ(panel.height, 200 + 3 * 20);
}

TEST_F(Main, AcceptStoresEveryFieldAsRead) {
    settings().mixRed = 9;
    ASSERT_EQ(edit({UserAction::set("Pixel Grain Height :", "4"), UserAction::set("Pixel Grain Width :", "6"),
                    UserAction::set("Fade Control Object :", "Fader"), UserAction::set("Fade Using :", "Co-ords"),
                    UserAction::set("Fade on value of :", "Z"), UserAction::set("Divide Value by :", "25"),
                    UserAction::set("Allow Negatives :", "Yes"), UserAction::set("Fade using :", "Negative"),
                    UserAction::accept()}),
              0);
    const MixerInstance &m = settings();
    EXPECT_EQ(m.grainHeight, 4);
    EXPECT_EQ(m.grainWidth, 6);
    EXPECT_EQ(m.controlItem, kFaderId);
    EXPECT_EQ(m.fadeChannel, FADE_COORDS);
    EXPECT_EQ(m.fadeAxis, AXIS_Z);
    EXPECT_EQ(m.fadeDivisor, 25);
    EXPECT_EQ(m.allowNegatives, 1);
    EXPECT_EQ(m.effect, EFFECT_NEGATIVE);
    EXPECT_EQ(m.mixRed, 9);
    EXPECT_TRUE(session.messages().messages().empty());
    EXPECT_TRUE(driver->problems().empty());

    // After the user closes the panel, each control's value is read once, in
    // the order added, and the panel is destroyed.
    const std::string t = q(kMainTitle);
    const int32_t read[8] = {4, 6, kFaderId, 1, 2, 25, 1, 3};
    std::vector<std::string> expected;
    std::string previous = "null";
    for (int i = 0; i < 8; ++i) {
        const std::string label = q(kMainControls[i].label);
        expected.push_back("nextPanelControl " + t + " " + previous + " -> " + label);
        expected.push_back("get " + t + " " + label + " 4 <2> -> " + std::to_string(read[i]));
        previous = label;
    }
    expected.push_back("destroyPanel " + t);
    const std::vector<std::string> lines = services.log().lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - expected.size(), lines.end()), expected);
}

TEST_F(Main, AcceptWithoutControlObjectWarnsOnceAndStoresTheRest) {
    settings().controlItem = kFaderId;
    ASSERT_EQ(edit({UserAction::set("Fade Control Object :", "(none)"), UserAction::set("Divide Value by :", "3"),
                    UserAction::set("Fade using :", "RGB"), UserAction::cancel(kRgbTitle), UserAction::accept()}),
              0);
    const std::vector<host::HostMessage> expected = {
        {host::HostMessage::Kind::Warning, "You have not specified a control object.", "No effect will be present"}};
    EXPECT_EQ(session.messages().messages(), expected);
    EXPECT_EQ(settings().controlItem, 0);
    EXPECT_EQ(settings().fadeDivisor, 3);
    EXPECT_EQ(settings().effect, EFFECT_RGB);
}

TEST_F(Main, DivisorBelowOneIsStoredAsOneOthersUnlimited) {
    settings().controlItem = kFaderId;
    for (const auto &[typed, stored] : {std::pair{"0", 1}, {"-5", 1}, {"1", 1}, {"2", 2}, {"70000", 70000}}) {
        ASSERT_EQ(edit({UserAction::set("Divide Value by :", typed), UserAction::accept()}), 0);
        EXPECT_EQ(settings().fadeDivisor, stored) << typed;
    }
    // Grain sizes and choice indices are stored as the panel returns them.
    ASSERT_EQ(edit({UserAction::set("Pixel Grain Height :", "0"), UserAction::set("Pixel Grain Width :", "-3"),
                    UserAction::accept()}),
              0);
    EXPECT_EQ(settings().grainHeight, 0);
    EXPECT_EQ(settings().grainWidth, -3);
    settings().allowNegatives = 7;
    ASSERT_EQ(edit({UserAction::accept()}), 0);
    EXPECT_EQ(settings().allowNegatives, 7);
    EXPECT_TRUE(session.messages().messages().empty());
}

TEST_F(Main, CancelWritesNothing) {
    settings().controlItem = kFaderId;
    settings().fadeDivisor = 0; // as a loaded record may hold it
    const std::vector<int32_t> before = fieldsOf(settings());
    ASSERT_EQ(edit({UserAction::set("Pixel Grain Height :", "9"), UserAction::set("Fade Control Object :", "none"),
                    UserAction::set("Divide Value by :", "-5"), UserAction::set("Fade using :", "Static"),
                    UserAction::cancel()}),
              0);
    EXPECT_EQ(fieldsOf(settings()), before);
    EXPECT_TRUE(session.messages().messages().empty());
    // Nothing is read back once the user has closed the panel.
    const std::vector<std::string> lines = services.log().lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "drawPanel " + q(kMainTitle) + " 3");
    EXPECT_EQ(lines.back(), "destroyPanel " + q(kMainTitle));
}

TEST_F(Main, ChoosingALookCallsBackWhileTheMainPanelIsOpen) {
    ASSERT_EQ(edit({UserAction::set("Fade using :", "Static"), UserAction::cancel()}), 0);
    const std::string t = q(kMainTitle);
    const std::vector<std::string> expected = {
        "openPanel " + t + " 3 -> 0",
        "user " + t + " \"Fade using :\" 0",
        "event " + t + " \"Fade using :\"",
        "get " + t + " \"Fade using :\" 4 <2> -> 0",
        "drawPanel " + t + " 3",
        "destroyPanel " + t,
    };
    EXPECT_EQ(linesFrom("openPanel"), expected);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
}

TEST_F(Main, UsesTheSavedLookupNotItsOwnArgument) {
    static int argumentCalls = 0;
    const GlobalLookup other = [](const char *, int32_t) -> void * {
        ++argumentCalls;
        return nullptr;
    };
    // The handler activated with a lookup that notes what is looked up.
    host::HostSession session(KIVO_MODULE_FILE, kMixerServerName, nullptr, loggingLookup);
    host::HostSession::Instance instance = session.createInstance();
    host::ScriptedDriver script({UserAction::cancel()});
    services.setDriver(&script);
    ActivateFunction activate = session.module().requireServer(host::kInterfaceClass, kMixerServerName);
    test::clearLookupLog();
    // Any version is accepted: the interface makes no version check.
    EXPECT_EQ(activate(7, other, instance.get(), nullptr), 0);
    services.setDriver(nullptr);
    EXPECT_EQ(argumentCalls, 0);
    EXPECT_EQ(test::lookupLog(), std::vector<std::string>{"LWPanelServices"});
    EXPECT_EQ(script.opened().size(), 1u);
}

} // namespace
} // namespace kivo::test
