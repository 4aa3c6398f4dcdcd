// vidmixer edit: the module's panels on the host panel services, saving on
// acceptance only; in-process with the scripted driver, and once for real in
// a terminal (tmux).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "host/cli/edit_command.h"
#include "host/panels/scripted_driver.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"
#include "run_command.h"
#include "temp_dir.h"

using namespace kivo;
using host::UserAction;

namespace {

const char kDefaults[] = "1 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1";

scene::Scene sceneWithOneFilter() {
    scene::Scene s;
    s.items.push_back({1, "Fade Control", {{1, {0, 0, 0}, {0, 0, 0}}, {24, {0, 0, 0}, {1, 1, 1}}}});
    s.items.push_back({2, "Other", {}});
    s.filters.push_back({"Kivo_VidMixer", scene::recordOfText(kDefaults)});
    return s;
}

std::string recordText(const scene::Scene &s, size_t filter = 0) {
    return scene::recordAsText(s.filters[filter].record).value_or("(not text)");
}

} // namespace

TEST(EditFilter, AcceptedMainPanelUpdatesTheRecord) {
    scene::Scene s = sceneWithOneFilter();
    host::ScriptedDriver driver({UserAction::set("Divide Value by :", "7"),
                                 UserAction::set("Fade Control Object :", "Other"),
                                 UserAction::set("Fade using :", "Negative"), UserAction::accept()});
    const cli::EditOutcome outcome = cli::editFilter(s, 0, KIVO_MODULE_FILE, driver);
    EXPECT_TRUE(driver.problems().empty()) << driver.problems().front();
    EXPECT_TRUE(outcome.accepted);
    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(recordText(s), "2 1 1 0 0 7 0 3 255 255 255 0 0 0 0 0 0 1");
}

TEST(EditFilter, NestedSettingsPanelThenAccept) {
    scene::Scene s = sceneWithOneFilter();
    host::ScriptedDriver driver({UserAction::set("Fade using :", "RGB"),
                                 UserAction::set("Mix RGB :", "10 20 30", "Set RGB for Mixer"),
                                 UserAction::accept("Set RGB for Mixer"), UserAction::accept()});
    const cli::EditOutcome outcome = cli::editFilter(s, 0, KIVO_MODULE_FILE, driver);
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(recordText(s), "1 1 1 0 0 1 0 1 10 20 30 0 0 0 0 0 0 1");
}

TEST(EditFilter, CancelledMainPanelLeavesTheSceneEvenAfterASettingsPanel) {
    scene::Scene s = sceneWithOneFilter();
    const scene::Scene before = s;
    host::ScriptedDriver driver({UserAction::set("Fade using :", "RGB"),
                                 UserAction::set("Mix RGB :", "10 20 30", "Set RGB for Mixer"),
                                 UserAction::accept("Set RGB for Mixer"), UserAction::cancel()});
    const cli::EditOutcome outcome = cli::editFilter(s, 0, KIVO_MODULE_FILE, driver);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(s, before);
}

TEST(EditFilter, ModuleWarningsComeBackAndBadFilterNumbersAreRefused) {
    scene::Scene s = sceneWithOneFilter();
    host::ScriptedDriver driver({UserAction::set("Fade Control Object :", "none"), UserAction::accept()});
    const cli::EditOutcome outcome = cli::editFilter(s, 0, KIVO_MODULE_FILE, driver);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].line1, "You have not specified a control object.");
    EXPECT_EQ(recordText(s), "0 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1");
    host::ScriptedDriver unused({});
    EXPECT_THROW(cli::editFilter(s, 1, KIVO_MODULE_FILE, unused), std::invalid_argument);
}

namespace {

// A detached tmux session on a private server, running one command.
class TmuxSession {
public:
    TmuxSession(const TempDir &dir, const std::string &command)
        : dir_(dir), socket_("kivo-cli-test-" + std::to_string(::getpid())) {
        run("new-session -d -s edit -x 110 -y 30 " + quoted(command + "; echo $? > " + quoted(dir.file("exit-code"))));
    }
    ~TmuxSession() { run("kill-server"); }

    CommandResult run(const std::string &arguments) const {
        return runCommand("TERM=xterm tmux -L " + socket_ + " " + arguments, dir_.path());
    }
    std::string screen() const { return run("capture-pane -p -t edit").out; }
    void keys(const std::string &keys) const { run("send-keys -t edit " + keys); }
    void type(const std::string &text) const { run("send-keys -t edit -l " + quoted(text)); }

    // Waits until the screen shows the text; false after ten seconds.
    bool waitFor(const std::string &text) const {
        for (int i = 0; i < 200; ++i) {
            if (screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The exit code of the command once it has ended, or -1.
    int exitCode() const {
        for (int i = 0; i < 200; ++i) {
            const std::string code = dir_.read("exit-code");
            if (!code.empty() && code.back() == '\n') return std::stoi(code);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

private:
    const TempDir &dir_;
    std::string socket_;
};

bool haveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

} // namespace

TEST(EditInTerminal, ChangeLookAndDivisorThenAccept) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    scene::saveSceneFile(sceneWithOneFilter(), dir.file("scene.json"));
    TmuxSession tmux(dir, quoted(KIVO_VIDMIXER) + " edit " + quoted(dir.file("scene.json")));
    ASSERT_TRUE(tmux.waitFor("Fade using : < Static >")) << tmux.screen();

    // The look: down to "Fade using :", type B&W Film; its settings panel opens.
    tmux.keys("Down Down Down Down Down Down Down Enter");
    tmux.type("B&W Film");
    tmux.keys("Enter");
    ASSERT_TRUE(tmux.waitFor("Set B&W Quality")) << tmux.screen();
    tmux.keys("Right Down Down Down Space"); // Old'n'Dusty, Sepia Colourise
    ASSERT_TRUE(tmux.waitFor("Sepia Colourise [x]")) << tmux.screen();
    tmux.keys("F10");
    ASSERT_TRUE(tmux.waitFor("Fade using : < B&W Film >")) << tmux.screen();
    EXPECT_EQ(tmux.screen().find("Set B&W Quality"), std::string::npos);

    // The divisor, two controls up: step it from 1 to 3.
    tmux.keys("Up Up Right Right");
    ASSERT_TRUE(tmux.waitFor("Divide Value by : [ 3 ]")) << tmux.screen();
    tmux.keys("F10");
    ASSERT_EQ(tmux.exitCode(), 0) << tmux.screen();

    const scene::Scene saved = scene::loadSceneFile(dir.file("scene.json"));
    EXPECT_EQ(recordText(saved), "1 1 1 0 0 3 0 2 255 255 255 1 0 0 1 0 0 1");
}

TEST(EditInTerminal, EscapeCancelsAndTheSceneStaysAsItWas) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    scene::saveSceneFile(sceneWithOneFilter(), dir.file("scene.json"));
    const std::string before = dir.read("scene.json");
    TmuxSession tmux(dir, quoted(KIVO_VIDMIXER) + " edit " + quoted(dir.file("scene.json")) + " --filter 1");
    ASSERT_TRUE(tmux.waitFor("Divide Value by : [ 1 ]")) << tmux.screen();
    tmux.keys("Down Down Down Down Down Right Right");
    ASSERT_TRUE(tmux.waitFor("Divide Value by : [ 3 ]")) << tmux.screen();
    tmux.keys("Escape");
    ASSERT_EQ(tmux.exitCode(), 0) << tmux.screen();
    EXPECT_EQ(dir.read("scene.json"), before);
}

TEST(EditCommand, NeedsATerminalAndAFilterThatExists) {
    TempDir dir;
    scene::saveSceneFile(sceneWithOneFilter(), dir.file("scene.json"));
    const CommandResult result =
        runCommand(quoted(KIVO_VIDMIXER) + " edit " + quoted(dir.file("scene.json")) + " < /dev/null", dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("terminal"), std::string::npos) << result.err;
}
