#include "host/panels/scripted_driver.h"

#include "host/panels/control_value_text.h"

namespace kivo::host {

const ControlSnapshot *PanelSnapshot::find(const std::string &label) const {
    for (const ControlSnapshot &control : controls)
        if (control.label == label) return &control;
    return nullptr;
}

PanelSnapshot snapshotOf(const Panel &panel) {
    PanelSnapshot snapshot{panel.title(), panel.width(), panel.height(), {}};
    for (const auto &c : panel.controls())
        snapshot.controls.push_back({c->kind(), c->typeName(), c->label(), c->x(), c->y(), c->width(), c->height(),
                                     c->labelWidth(), c->items(), c->value(), formatControlValue(*c)});
    return snapshot;
}

bool ScriptedDriver::run(Panel &panel) {
    opened_.push_back(snapshotOf(panel));
    const auto fail = [&](const std::string &why) {
        problems_.push_back(panel.title() + ": " + why);
        return false;
    };
    while (next_ < actions_.size()) {
        const UserAction action = actions_[next_++];
        if (!action.panel.empty() && action.panel != panel.title())
            return fail("action meant for \"" + action.panel + "\"");
        switch (action.kind) {
        case UserAction::Kind::Accept: return true;
        case UserAction::Kind::Cancel: return false;
        case UserAction::Kind::Set: {
            Control *control = panel.findByLabel(action.label);
            if (control == nullptr) return fail("no control \"" + action.label + "\"");
            const auto value = parseControlValue(*control, action.value);
            if (!value) return fail("\"" + action.value + "\" does not fit \"" + action.label + "\"");
            panel.userSetValue(*control, *value);
            break;
        }
        }
    }
    return fail("no action left");
}

void ScriptedDriver::draw(Panel &panel) { drawn_.push_back(panel.title()); }

} // namespace kivo::host
