// A host session with panel services and a scripted user, editing one
// instance of the loaded module.
#ifndef KIVO_TESTS_PANELS_EDIT_SESSION_H
#define KIVO_TESTS_PANELS_EDIT_SESSION_H

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/core/host_session.h"
#include "host/panels/host_panel_services.h"
#include "host/panels/scripted_driver.h"
#include "instance/mixer_instance.h"
#include "tests/support/faulty_panel_services.h"
#include "tests/support/lookup_log.h"

namespace kivo::test {

using host::PanelCall;
using host::UserAction;

inline constexpr char kMainTitle[] = "Kivo Video Effects Mixer - Shareware v.1.2b";
inline constexpr char kRgbTitle[] = "Set RGB for Mixer";
inline constexpr char kFilmTitle[] = "Set B&W Quality";
inline constexpr int32_t kFaderId = 7;

class EditSession : public ::testing::Test {
protected:
    EditSession() {
        session.items().setItem({kFaderId, "Fader", {}});
        services.setSceneObjects(host::sceneObjectsOf(session.items()));
    }

    MixerInstance &settings() { return *static_cast<MixerInstance *>(instance.get()); }

    // Activates the interface server with the user playing these actions.
    int32_t edit(std::vector<UserAction> actions) {
        driver.emplace(std::move(actions));
        services.setDriver(&*driver);
        const int32_t result = session.editInstance(instance.get());
        services.setDriver(nullptr);
        return result;
    }

    // The log's lines from the first one starting with this text.
    std::vector<std::string> linesFrom(const std::string &start) const {
        std::vector<std::string> lines = services.log().lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(start, 0) == 0) return {lines.begin() + i, lines.end()};
        return {};
    }

    size_t count(PanelCall::Op op, const std::string &panel = {}) const {
        size_t n = 0;
        for (const PanelCall &call : services.log().calls())
            if (call.op == op && (panel.empty() || call.panel == panel)) ++n;
        return n;
    }

    host::HostSession session{KIVO_MODULE_FILE};
    FaultyPanelServices services;
    host::HostSession::Instance instance = session.createInstance();
    std::optional<host::ScriptedDriver> driver;
};

// Every field of two instances, for "nothing changed" checks.
inline std::vector<int32_t> fieldsOf(const MixerInstance &m) {
    const auto *words = reinterpret_cast<const int32_t *>(&m);
    return {words, words + sizeof(MixerInstance) / sizeof(int32_t)};
}

} // namespace kivo::test

#endif
