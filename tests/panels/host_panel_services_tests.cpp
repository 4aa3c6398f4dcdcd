// The host's panel services on their own: controls, layout, values typed by a
// user, nested panels and registration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/core/global_services.h"
#include "host/panels/control_value_text.h"
#include "host/panels/host_panel_services.h"
#include "host/panels/scripted_driver.h"
#include "tests/support/faulty_panel_services.h"

namespace kivo::host {
namespace {

const char *const kItems[] = {" Static ", "   RGB   ", "B&W Film", nullptr};

ControlDescriptor descriptorOf(int32_t type, const char *const *items = nullptr) {
    ControlDescriptor d{};
    d.type = type;
    d.word1.items = items;
    return d;
}

PanelValue intValue(int32_t value) {
    PanelValue v{};
    v.type = VALUE_INTEGER;
    v.value.intValue = value;
    return v;
}

class Services : public ::testing::Test {
protected:
    PanelControl *add(void *panel, const char *type, int32_t valueType, const char *label,
                      const char *const *items = nullptr) {
        ControlDescriptor d = descriptorOf(valueType, items);
        return f->addPanelControl(panel, type, &d, label);
    }
    int32_t get(PanelControl *c, int32_t tag) {
        PanelValue v = intValue(-1);
        c->get(c, tag, &v);
        return v.value.intValue;
    }

    test::FaultyPanelServices services{{{3, "Camera"}, {12, "Fader"}}};
    PanelFunctions *f = services.functions();
};

TEST_F(Services, RegisteredAsLWPanelServicesWhileAlive) {
    EXPECT_EQ(hostGlobalLookup("LWPanelServices", 0), services.functions());
    {
        PanelServices inner;
        EXPECT_EQ(hostGlobalLookup("LWPanelServices", 0), inner.functions());
        EXPECT_EQ(PanelServices::current(), &inner);
    }
    EXPECT_EQ(hostGlobalLookup("LWPanelServices", 0), services.functions());
    EXPECT_EQ(PanelServices::current(), &services);
}

TEST_F(Services, ControlsAreStackedAndWalkedInTheOrderAdded) {
    void *panel = f->createPanel("P", nullptr);
    PanelControl *a = add(panel, "NumControl", VALUE_INTEGER, "Width :");
    PanelControl *b = add(panel, "ChoiceControl", VALUE_CHOICE, "Look :", kItems);
    PanelControl *c = add(panel, "BoolControl", VALUE_BOOLEAN, "On");
    EXPECT_EQ(f->nextPanelControl(panel, nullptr), a);
    EXPECT_EQ(f->nextPanelControl(panel, a), b);
    EXPECT_EQ(f->nextPanelControl(panel, c), nullptr);
    EXPECT_EQ(get(a, CTAG_Y), kTopMargin);
    EXPECT_EQ(get(b, CTAG_Y), kTopMargin + kRowHeight + kRowGap);
    EXPECT_EQ(get(c, CTAG_LABEL_WIDTH), 2 * kCellWidth);
    EXPECT_EQ(get(b, CTAG_HEIGHT), kRowHeight);

    void *other = f->createPanel("Q", nullptr);
    EXPECT_EQ(f->nextPanelControl(other, nullptr), nullptr);
    EXPECT_EQ(f->nextPanelControl(other, a), nullptr); // a control of another panel
    EXPECT_EQ(services.log().calls().back().op, PanelCall::Op::Problem);
    f->destroyPanel(panel);
    f->destroyPanel(other);
    EXPECT_TRUE(services.panels().empty());
}

TEST_F(Services, AttributesTouchOnlyTheValueWordsOfTheirTag) {
    void *panel = f->createPanel("P", nullptr);
    PanelControl *rgb = add(panel, "MiniRGBControl", VALUE_INTEGER_TRIPLE, "Mix RGB :");
    PanelValue in{};
    in.type = VALUE_INTEGER_TRIPLE;
    in.value.rgb[0] = 1;
    in.value.rgb[1] = 2;
    in.value.rgb[2] = 3;
    rgb->set(rgb, CTAG_VALUE, &in);
    PanelValue out{};
    out.type = 77;
    out.value.words[5] = 55;
    rgb->get(rgb, CTAG_VALUE, &out);
    EXPECT_EQ(out.type, 77);
    EXPECT_EQ(out.value.rgb[0], 1);
    EXPECT_EQ(out.value.rgb[2], 3);
    EXPECT_EQ(out.value.words[5], 55);

    // Values outside a control's range are kept as given.
    PanelControl *choice = add(panel, "ChoiceControl", VALUE_CHOICE, "Look :", kItems);
    PanelValue v = intValue(9);
    choice->set(choice, CTAG_VALUE, &v);
    EXPECT_EQ(get(choice, CTAG_VALUE), 9);
    EXPECT_EQ(formatControlValue(*Control::fromRecord(choice)), "#9");

    // A tag the control does not have leaves the record alone.
    EXPECT_EQ(get(choice, 21), -1);
    EXPECT_EQ(services.log().calls().back().op, PanelCall::Op::Problem);
    f->destroyPanel(panel);
}

TEST_F(Services, PanelHeightIsTheSetOneOrRoomForTheControls) {
    void *handle = f->createPanel("P", nullptr);
    add(handle, "NumControl", VALUE_INTEGER, "A");
    add(handle, "NumControl", VALUE_INTEGER, "B");
    const Panel &panel = *services.panels().front();
    EXPECT_EQ(panel.height(), kTopMargin + 2 * kRowHeight + 2 * kRowGap);
    const int32_t height = 99;
    f->setPanelAttribute(handle, PTAG_HEIGHT, &height);
    EXPECT_EQ(panel.height(), 99);
    f->destroyPanel(handle);
}

TEST_F(Services, UnknownTypesAndRefusedPanelsGiveNull) {
    void *panel = f->createPanel("P", nullptr);
    EXPECT_EQ(add(panel, "SliderControl", VALUE_INTEGER, "S"), nullptr);
    services.refuseControlType("BoolControl");
    EXPECT_EQ(add(panel, "BoolControl", VALUE_BOOLEAN, "B"), nullptr);
    EXPECT_EQ(f->nextPanelControl(panel, nullptr), nullptr);
    services.refusePanelTitle("Gone");
    EXPECT_EQ(f->createPanel("Gone", nullptr), nullptr);
    EXPECT_EQ(f->openPanel(nullptr, 3), 0);
    f->destroyPanel(panel);
}

TEST(ControlValueText, TypedValuesFitTheirControl) {
    PanelCallLog log;
    Panel panel("P", log, PanelControl{});
    Control &number = panel.addControl(ControlKind::Number, "NumControl", "N", {}, {});
    Control &choice = panel.addControl(ControlKind::Choice, "ChoiceControl", "C", {" No ", " Yes "}, {});
    Control &check = panel.addControl(ControlKind::CheckBox, "BoolControl", "B", {}, {});
    Control &rgb = panel.addControl(ControlKind::ColourTriple, "MiniRGBControl", "R", {}, {});
    Control &item = panel.addControl(ControlKind::SceneItem, "LWListControl", "I", {"(none)", "Fader"}, {0, 12});

    EXPECT_EQ(parseControlValue(number, "-5")->scalar, -5);
    EXPECT_FALSE(parseControlValue(number, "5x"));
    EXPECT_FALSE(parseControlValue(number, "99999999999"));
    EXPECT_EQ(parseControlValue(choice, " Yes ")->scalar, 1);
    EXPECT_EQ(parseControlValue(choice, "Yes")->scalar, 1);
    EXPECT_EQ(parseControlValue(choice, "0")->scalar, 0);
    EXPECT_FALSE(parseControlValue(choice, "2"));
    EXPECT_FALSE(parseControlValue(choice, "Maybe"));
    EXPECT_EQ(parseControlValue(check, "on")->scalar, 1);
    EXPECT_EQ(parseControlValue(check, "false")->scalar, 0);
    EXPECT_FALSE(parseControlValue(check, "2"));
    EXPECT_EQ(parseControlValue(rgb, "10, 20,30")->triple, (std::array<int32_t, 3>{10, 20, 30}));
    EXPECT_FALSE(parseControlValue(rgb, "1,2"));
    EXPECT_FALSE(parseControlValue(rgb, "1,2,3,4"));
    EXPECT_EQ(parseControlValue(item, "Fader")->scalar, 12);
    EXPECT_EQ(parseControlValue(item, "12")->scalar, 12);
    EXPECT_EQ(parseControlValue(item, "none")->scalar, 0);
    EXPECT_FALSE(parseControlValue(item, "13"));

    choice.setValue({1, {}});
    EXPECT_EQ(formatControlValue(choice), "Yes");
    item.setValue({12, {}});
    EXPECT_EQ(formatControlValue(item), "Fader");
    check.setValue({-4, {}});
    EXPECT_EQ(formatControlValue(check), "on");
}

// An event callback that opens a second panel, as the module's effect choice does.
struct NestedOpen {
    PanelFunctions *f;
    int32_t innerResult = -1;
    int32_t innerValue = -1;
};

void openNested(PanelControl *, void *data) {
    auto &nested = *static_cast<NestedOpen *>(data);
    void *inner = nested.f->createPanel("Inner", nullptr);
    ControlDescriptor d = descriptorOf(VALUE_INTEGER);
    PanelControl *c = nested.f->addPanelControl(inner, "NumControl", &d, "Depth :");
    nested.innerResult = nested.f->openPanel(inner, 3);
    PanelValue v{};
    c->get(c, CTAG_VALUE, &v);
    nested.innerValue = v.value.intValue;
    nested.f->destroyPanel(inner);
}

TEST_F(Services, EventCallbackOpensANestedPanelThatTakesTheFollowingActions) {
    void *outer = f->createPanel("Outer", nullptr);
    PanelControl *trigger = add(outer, "ChoiceControl", VALUE_CHOICE, "Look :", kItems);
    NestedOpen nested{f};
    PanelValue v{};
    v.value.event = openNested;
    trigger->set(trigger, CTAG_EVENT, &v);
    v.value.pointer = &nested;
    trigger->set(trigger, CTAG_USER_DATA, &v);

    ScriptedDriver driver({UserAction::set("Look :", "RGB", "Outer"), UserAction::set("Depth :", "12", "Inner"),
                           UserAction::accept("Inner"), UserAction::cancel("Outer")});
    services.setDriver(&driver);
    EXPECT_EQ(f->openPanel(outer, 3), 0);
    services.setDriver(nullptr);
    EXPECT_TRUE(driver.problems().empty());
    EXPECT_EQ(nested.innerResult, 1);
    EXPECT_EQ(nested.innerValue, 12);
    EXPECT_EQ(get(trigger, CTAG_VALUE), 1);
    ASSERT_EQ(driver.opened().size(), 2u);
    EXPECT_EQ(driver.opened()[1].title, "Inner");
    f->destroyPanel(outer);
    EXPECT_TRUE(services.panels().empty());
}

TEST_F(Services, ScriptProblemsCancelThePanel) {
    void *panel = f->createPanel("P", nullptr);
    add(panel, "NumControl", VALUE_INTEGER, "N :");
    for (const auto &actions : {std::vector<UserAction>{UserAction::set("Missing", "1"), UserAction::accept()},
                                std::vector<UserAction>{UserAction::set("N :", "one"), UserAction::accept()},
                                std::vector<UserAction>{UserAction::accept("Other")}, std::vector<UserAction>{}}) {
        ScriptedDriver driver(actions);
        services.setDriver(&driver);
        EXPECT_EQ(f->openPanel(panel, 3), 0);
        EXPECT_EQ(driver.problems().size(), 1u);
    }
    services.setDriver(nullptr);
    EXPECT_EQ(f->openPanel(panel, 3), 0); // no driver: cancelled
    f->destroyPanel(panel);
}

void destroyOwnPanel(PanelControl *, void *data) {
    auto *services = static_cast<PanelServices *>(data);
    services->functions()->destroyPanel(services->panels().front().get());
}

TEST_F(Services, PanelDestroyedWhileOpenGoesWhenItCloses) {
    void *panel = f->createPanel("P", nullptr);
    PanelControl *c = add(panel, "BoolControl", VALUE_BOOLEAN, "B");
    PanelValue v{};
    v.value.event = destroyOwnPanel;
    c->set(c, CTAG_EVENT, &v);
    v.value.pointer = &services;
    c->set(c, CTAG_USER_DATA, &v);
    ScriptedDriver driver({UserAction::set("B", "on"), UserAction::accept()});
    services.setDriver(&driver);
    EXPECT_EQ(f->openPanel(panel, 3), 1);
    services.setDriver(nullptr);
    EXPECT_TRUE(services.panels().empty());
}

} // namespace
} // namespace kivo::host
