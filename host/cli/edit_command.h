// vidmixer edit: one filter's settings in the module's own panels.
#ifndef KIVO_HOST_CLI_EDIT_COMMAND_H
#define KIVO_HOST_CLI_EDIT_COMMAND_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/core/messages.h"
#include "host/panels/panel_driver.h"
#include "host/scene/scene.h"

namespace kivo::cli {

struct EditRequest {
    std::string scenePath;
    int filter = 1; // counting from 1
    std::string module;
};

struct EditOutcome {
    bool accepted = false;                   // the main panel was closed with OK
    bool changed = false;                    // the settings record differs from before
    int32_t activation = 0;                  // the interface activation's result
    std::vector<host::HostMessage> messages; // what the module told the user
};

// Opens the module's interface on filter (0-based) of the scene through the
// host panel services, with driver playing the user. On acceptance the
// filter's record in scene becomes the edited instance's; otherwise the
// scene is left as it was, even if a settings panel wrote to the instance.
EditOutcome editFilter(scene::Scene &scene, size_t filter, const std::string &modulePath, host::PanelDriver &driver);

// The command: edits in the terminal and saves the scene file only when the
// user accepts the main panel. Returns the exit code.
int runEdit(const EditRequest &request, std::ostream &err);

} // namespace kivo::cli

#endif
