// The settings of a module instance as the host shows and changes them, by
// the names of the module's settings table. The instance stays opaque: values
// are read from the record the module saves and changed by loading an edited
// record, so what is kept is always what the module itself writes.
#ifndef KIVO_HOST_CLI_INSTANCE_SETTINGS_H
#define KIVO_HOST_CLI_INSTANCE_SETTINGS_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/core/host_session.h"
#include "host/scene/scene.h"
#include "instance/setting_facts.h"

namespace kivo::cli {

// Bad command-line input: vidmixer exits with status 2.
class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct SettingView {
    std::string name;
    std::optional<int32_t> value; // none when the record's text ends before it
    std::string meaning;          // "B&W Film", "on", the control object's name, ...; may be empty
    std::string assignment;       // NAME=VALUE as `vidmixer set` takes it; empty when set takes none
};

// All eighteen, in the table's order, as the instance saves them.
std::vector<SettingView> instanceSettings(const host::HostSession &session, void *instance,
                                          const scene::Scene &scene);

struct SettingChange {
    const SettingFacts *setting;
    int32_t value;
};

// The changes a NAME=VALUE pair asks for; a group's name sets all its
// members ("mix=R,G,B"). Names and value words are compared without regard
// to case, and every word that instanceSettings shows is taken: a value name
// or panel item text ("film", "B&W Film"), "none" for no control item, or an
// item's name. Numbers must lie in the setting's range, and a control item
// must be 0 or an item of the scene (when one is given). Throws UsageError
// naming the pair and what is accepted.
std::vector<SettingChange> parseSettingPair(const std::string &pair, const scene::Scene *scene);

// Loads the instance's saved settings with the changes made into the
// instance. Throws host::SettingsTooLong, leaving the instance as it was,
// when they do not fit a settings record whole; std::runtime_error when the
// module does not keep them.
void applySettings(const host::HostSession &session, void *instance, const std::vector<SettingChange> &changes);

} // namespace kivo::cli

#endif
