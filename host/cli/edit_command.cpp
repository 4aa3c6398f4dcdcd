#include "host/cli/edit_command.h"

#include <algorithm>
#include <stdexcept>

#include <unistd.h>

#include "host/cli/cli_options.h"
#include "host/cli/terminal_driver.h"
#include "host/core/host_session.h"
#include "host/panels/host_panel_services.h"
#include "host/scene/scene_file.h"
#include "host/scene/scene_items.h"
#include "host/scene/settings_record_text.h"

namespace kivo::cli {
namespace {

// Passes everything on to the user's driver and notes how the outermost
// panel, the main one, was closed.
class AcceptanceWatch : public host::PanelDriver {
public:
    explicit AcceptanceWatch(host::PanelDriver &inner) : inner_(inner) {}
    bool run(host::Panel &panel) override {
        ++depth_;
        const bool accepted = inner_.run(panel);
        if (--depth_ == 0) outermost_ = accepted;
        return accepted;
    }
    void draw(host::Panel &panel) override { inner_.draw(panel); }
    bool accepted() const { return outermost_; }

private:
    host::PanelDriver &inner_;
    int depth_ = 0;
    bool outermost_ = false;
};

} // namespace

EditOutcome editFilter(scene::Scene &scene, size_t filter, const std::string &modulePath, host::PanelDriver &driver) {
    if (filter >= scene.filters.size())
        throw std::invalid_argument("the scene has " + std::to_string(scene.filters.size()) +
                                    (scene.filters.size() == 1 ? " filter" : " filters") + "; there is no filter " +
                                    std::to_string(filter + 1));
    scene::Filter &entry = scene.filters[filter];
    host::HostSession session(modulePath, entry.server);
    scene::fillItemTable(scene, session.items());
    host::HostSession::Instance instance = session.createInstance();
    session.load(instance.get(), std::vector<uint8_t>(entry.record.begin(), entry.record.end()));

    AcceptanceWatch watch(driver);
    EditOutcome outcome;
    {
        host::PanelServices services(host::sceneObjectsOf(session.items()));
        services.setDriver(&watch);
        outcome.activation = session.editInstance(instance.get());
    }
    outcome.accepted = outcome.activation == 0 && watch.accepted();
    outcome.messages = session.messages().messages();
    if (outcome.accepted) {
        const scene::SettingsRecordBytes record = scene::recordOfSaved(session.save(instance.get()));
        outcome.changed = record != entry.record;
        entry.record = record;
    }
    return outcome;
}

int runEdit(const EditRequest &request, std::ostream &err) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO))
        throw std::runtime_error("edit shows its panels in a terminal; run it in one");
    if (request.filter < 1) throw std::invalid_argument("--filter counts from 1");
    scene::Scene scene = scene::loadSceneFile(request.scenePath);
    const std::string modulePath = modulePathOr(request.module);
    TerminalDriver terminal;
    const EditOutcome outcome = editFilter(scene, static_cast<size_t>(request.filter - 1), modulePath, terminal);
    terminal.close();

    for (const host::HostMessage &message : outcome.messages) {
        const char *kind = message.kind == host::HostMessage::Kind::Error     ? "error"
                           : message.kind == host::HostMessage::Kind::Warning ? "warning"
                                                                              : "note";
        err << "vidmixer: " << kind << ": " << message.line1 << " " << message.line2 << "\n";
    }
    if (outcome.activation != 0) {
        err << "vidmixer: the module's panels could not open (result " << outcome.activation << ")\n";
        return 1;
    }
    if (!outcome.accepted) {
        err << "vidmixer: cancelled; " << request.scenePath << " is unchanged\n";
        return 0;
    }
    if (!outcome.changed) {
        err << "vidmixer: no settings changed; " << request.scenePath << " is unchanged\n";
        return 0;
    }
    scene::saveSceneFile(scene, request.scenePath);
    err << "vidmixer: saved filter " << request.filter << " to " << request.scenePath << "\n";
    return 0;
}

} // namespace kivo::cli
