// Editing when the host falls short: services missing or refused, no handler
// activation yet, no message service.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "edit_session.h"
#include "host/core/global_services.h"
#include "host/core/module_loader.h"

namespace kivo::test {
namespace {

using Faults = EditSession;

// Nothing the process allocated is unreachable (checked in sanitizer builds).
void expectNoLeaks() {
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

TEST(PanelServicesMissing, ErrorShownOnceResultTwoNothingOpenedOrLeft) {
    host::HostSession session(KIVO_MODULE_FILE, kMixerServerName, nullptr, loggingLookup);
    auto instance = session.createInstance();
    const std::vector<int32_t> before = fieldsOf(*static_cast<MixerInstance *>(instance.get()));
    test::clearLookupLog();

    EXPECT_EQ(session.editInstance(instance.get()), AFUNC_BADGLOBAL);

    const std::vector<host::HostMessage> expected = {
        {host::HostMessage::Kind::Error, "Unable to activate globalLWPanelServices",
         "   Please add plugin lwpanels.p"}};
    EXPECT_EQ(session.messages().messages(), expected);
    EXPECT_EQ(test::lookupLog(), std::vector<std::string>{"LWPanelServices"});
    EXPECT_EQ(fieldsOf(*static_cast<MixerInstance *>(instance.get())), before);
    expectNoLeaks();
}

TEST(InterfaceBeforeHandler, ReturnsTwoWithoutLookingAnythingUp) {
    host::PanelServices services;
    host::MessageRecorder messages;
    host::ScopedGlobal messageGlobal("Info Messages", host::MessageRecorder::service());
    // A fresh load: no handler activation has saved the host's services.
    auto module = host::LoadedModule::open(KIVO_MODULE_FILE);
    ActivateFunction activate = module->requireServer(host::kInterfaceClass, kMixerServerName);
    MixerInstance m{};
    m.grainWidth = 2;
    test::clearLookupLog();

    EXPECT_EQ(activate(KIVO_SERVER_VERSION, loggingLookup, &m, nullptr), AFUNC_BADGLOBAL);
    EXPECT_TRUE(services.log().calls().empty());
    EXPECT_TRUE(test::lookupLog().empty());
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(m.grainWidth, 2);
    expectNoLeaks();
}

TEST(InterfaceBeforeHandler, NullInstanceIsRefused) {
    host::HostSession session(KIVO_MODULE_FILE);
    host::PanelServices services;
    EXPECT_EQ(session.editInstance(nullptr), AFUNC_BADGLOBAL);
    EXPECT_TRUE(services.log().calls().empty());
}

// A later handler activation found no "Info Messages": the saved message
// service is null while the saved lookup still stands.
class WithoutMessages : public EditSession {
protected:
    void SetUp() override {
        host::ScopedGlobal hidden("Info Messages", nullptr);
        HandlerTable table{};
        ActivateFunction activate = session.module().requireServer(host::kHandlerClass, kMixerServerName);
        ASSERT_EQ(activate(KIVO_SERVER_VERSION, host::hostGlobalLookup, &table, nullptr), AFUNC_BADGLOBAL);
    }
};

TEST_F(WithoutMessages, AcceptWithoutObjectStoresEverythingWithoutWarning) {
    ASSERT_EQ(edit({UserAction::set("Divide Value by :", "0"), UserAction::set("Fade on value of :", "Y"),
                    UserAction::set("Fade using :", "RGB"), UserAction::set("Mix RGB :", "4,5,6"),
                    UserAction::accept(kRgbTitle), UserAction::accept()}),
              0);
    EXPECT_EQ(settings().controlItem, 0);
    EXPECT_EQ(settings().fadeDivisor, 1);
    EXPECT_EQ(settings().fadeAxis, AXIS_Y);
    EXPECT_EQ(settings().effect, EFFECT_RGB);
    EXPECT_EQ(settings().mixGreen, 5);
    EXPECT_TRUE(session.messages().messages().empty());
}

TEST(WithoutMessagesOrPanels, ServicesMissingReturnsTwoSilently) {
    host::HostSession session(KIVO_MODULE_FILE);
    auto instance = session.createInstance();
    {
        host::ScopedGlobal hidden("Info Messages", nullptr);
        HandlerTable table{};
        session.module().requireServer(host::kHandlerClass, kMixerServerName)(KIVO_SERVER_VERSION,
                                                                                   host::hostGlobalLookup, &table,
                                                                                   nullptr);
    }
    EXPECT_EQ(session.editInstance(instance.get()), AFUNC_BADGLOBAL);
    EXPECT_TRUE(session.messages().messages().empty());
    expectNoLeaks();
}

TEST_F(Faults, MainPanelNotCreatedEndsTheActivationUntouched) {
    services.refusePanelTitle(kMainTitle);
    settings().grainHeight = 8;
    const std::vector<int32_t> before = fieldsOf(settings());
    EXPECT_EQ(edit({UserAction::accept()}), AFUNC_BADGLOBAL);
    const std::string refused = "createPanel \"" + std::string(kMainTitle) + "\" 0 -> null";
    EXPECT_EQ(services.log().lines(), std::vector<std::string>{refused});
    EXPECT_EQ(fieldsOf(settings()), before);
    EXPECT_EQ(driver->actionsLeft(), 1u);
    expectNoLeaks();
}

TEST_F(Faults, MainPanelMissingAControlIsClosedUnopenedAndUntouched) {
    services.refuseControlType("LWListControl");
    const std::vector<int32_t> before = fieldsOf(settings());
    EXPECT_EQ(edit({UserAction::accept()}), AFUNC_BADGLOBAL);
    EXPECT_EQ(count(PanelCall::Op::AddPanelControl), 8u);
    EXPECT_EQ(count(PanelCall::Op::OpenPanel), 0u);
    EXPECT_EQ(count(PanelCall::Op::SetAttribute), 0u);
    EXPECT_EQ(count(PanelCall::Op::DestroyPanel), 1u);
    EXPECT_TRUE(services.panels().empty());
    EXPECT_EQ(fieldsOf(settings()), before);
    expectNoLeaks();
}

TEST_F(Faults, SettingsPanelNotCreatedIsSkippedAndTheMainPanelCarriesOn) {
    services.refusePanelTitle(kRgbTitle);
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB"), UserAction::set("Divide Value by :", "6"),
                    UserAction::accept()}),
              0);
    EXPECT_TRUE(driver->problems().empty());
    EXPECT_EQ(driver->opened().size(), 1u);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
    EXPECT_EQ(settings().mixRed, 255);
    EXPECT_EQ(settings().effect, EFFECT_RGB);
    EXPECT_EQ(settings().fadeDivisor, 6);
}

TEST_F(Faults, FilmPanelMissingAControlIsClosedUnopened) {
    services.refuseControlType("BoolControl");
    const std::vector<int32_t> before = fieldsOf(settings());
    ASSERT_EQ(edit({UserAction::set("Fade using :", "B&W Film"), UserAction::cancel()}), 0);
    EXPECT_TRUE(driver->problems().empty());
    EXPECT_EQ(count(PanelCall::Op::OpenPanel, kFilmTitle), 0u);
    EXPECT_EQ(count(PanelCall::Op::DestroyPanel, kFilmTitle), 1u);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
    EXPECT_EQ(fieldsOf(settings()), before);
}

TEST_F(Faults, RgbPanelMissingItsControlIsClosedUnopened) {
    services.refuseControlType("MiniRGBControl");
    ASSERT_EQ(edit({UserAction::set("Fade using :", "RGB"), UserAction::cancel()}), 0);
    EXPECT_EQ(count(PanelCall::Op::OpenPanel, kRgbTitle), 0u);
    EXPECT_EQ(count(PanelCall::Op::DestroyPanel, kRgbTitle), 1u);
    EXPECT_EQ(driver->drawn(), std::vector<std::string>{kMainTitle});
    EXPECT_EQ(settings().mixRed, 255);
}

} // namespace
} // namespace kivo::test
