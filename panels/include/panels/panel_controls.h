// The controls of the module's panels as tables: which setting each control
// edits. The control's kind, label and choice items come from the settings
// table.
#ifndef KIVO_PANELS_PANEL_CONTROLS_H
#define KIVO_PANELS_PANEL_CONTROLS_H

#include <cstdint>

#include "contract/host_abi.h"
#include "contract/panel_services.h"
#include "instance/mixer_instance.h"
#include "instance/settings_table.h"

enum class ControlKind { Number, ColourTriple, CheckBox, Choice, SceneItem };

struct ControlRow {
    const SettingInfo *setting; // the edited setting; for a group, its first member
};

constexpr ControlRow controlOf(int32_t MixerInstance::*field) { return ControlRow{&settingOf(field)}; }

// The one control of a group's members.
constexpr ControlRow groupControl(int group) {
    for (const SettingInfo &setting : kSettings)
        if (setting.facts.group == group) return ControlRow{&setting};
    return ControlRow{&kSettings[0]}; // not reached for a group of the table
}

constexpr ControlKind controlKind(const ControlRow &row) {
    if (row.setting->facts.group >= 0) return ControlKind::ColourTriple; // the one kind of group
    switch (row.setting->facts.kind) {
    case SettingKind::Switch: return ControlKind::CheckBox;
    case SettingKind::Choice: return ControlKind::Choice;
    case SettingKind::Integer: return ControlKind::Number;
    case SettingKind::SceneItem: return ControlKind::SceneItem;
    }
    return ControlKind::Number;
}

const char *controlLabel(const ControlRow &row);

// Fills the module-wide descriptor for the control's kind and adds the
// control after those added before. A scene item list gets the host's lookup
// saved at activation.
void addControl(const PanelFunctions *functions, PanelHandle panel, const ControlRow &row, GlobalLookup lookup);

void addControls(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                 GlobalLookup lookup);

// Walks the panel's controls in the order added and sets each one's value
// from its field. False, with nothing more set, when the panel has fewer
// controls than the table.
bool showFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                const MixerInstance &instance);

// Walks the controls again and stores each one's value in its field as read.
void storeFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                 MixerInstance &instance);

#endif
