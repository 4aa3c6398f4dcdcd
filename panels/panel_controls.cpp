#include "panels/panel_controls.h"

#include "panels/panel_exchange.h"

namespace {
const char *typeName(ControlKind kind) {
    switch (kind) {
    case ControlKind::Number: return "NumControl";
    case ControlKind::ColourTriple: return "MiniRGBControl";
    case ControlKind::CheckBox: return "BoolControl";
    case ControlKind::Choice: return "ChoiceControl";
    case ControlKind::SceneItem: return "LWListControl";
    }
    return "NumControl";
}

// Only the words a kind names are written; the others keep what the previous
// addition left, and the panel services ignore them for that kind.
void fillDescriptor(const ControlRow &row, GlobalLookup lookup) {
    ControlDescriptor &d = gControlDescriptor;
    switch (controlKind(row)) {
    case ControlKind::Number: d.type = VALUE_INTEGER; break;
    case ControlKind::ColourTriple: d.type = VALUE_INTEGER_TRIPLE; break;
    case ControlKind::CheckBox: d.type = VALUE_BOOLEAN; break;
    case ControlKind::Choice:
        d.type = VALUE_CHOICE;
        d.word1.items = row.setting->facts.items;
        d.word2 = 0;
        break;
    case ControlKind::SceneItem:
        d.type = VALUE_SCENE_ITEM;
        d.word1.lookup = lookup;
        d.word2 = 0;
        d.word3 = 0;
        d.word4 = 0;
        break;
    }
}
} // namespace

const char *controlLabel(const ControlRow &row) {
    const SettingFacts &facts = row.setting->facts;
    return facts.group >= 0 ? kSettingGroups[facts.group].panelLabel : facts.panelLabel;
}

void addControl(const PanelFunctions *functions, PanelHandle panel, const ControlRow &row, GlobalLookup lookup) {
    fillDescriptor(row, lookup);
    functions->addPanelControl(panel, typeName(controlKind(row)), &gControlDescriptor, controlLabel(row));
}

void addControls(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                 GlobalLookup lookup) {
    for (int i = 0; i < count; ++i) addControl(functions, panel, rows[i], lookup);
}

bool showFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                const MixerInstance &instance) {
    PanelControl *control = nullptr;
    for (int i = 0; i < count; ++i) {
        control = functions->nextPanelControl(panel, control);
        if (control == nullptr) return false;
        setControlInt(control, CTAG_VALUE, instance.*rows[i].setting->field);
    }
    return true;
}

void storeFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                 MixerInstance &instance) {
    PanelControl *control = nullptr;
    for (int i = 0; i < count; ++i) {
        control = functions->nextPanelControl(panel, control);
        if (control == nullptr) return;
        instance.*rows[i].setting->field = getControlInt(control, CTAG_VALUE);
    }
}
