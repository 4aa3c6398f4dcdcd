// The controls of the module's panels as tables: what kind of control edits
// which field of the instance. Labels come from the settings table.
#ifndef KIVO_PANELS_PANEL_CONTROLS_H
#define KIVO_PANELS_PANEL_CONTROLS_H

#include <cstddef>
#include <cstdint>

#include "module/mixer_instance.h"
#include "panels/panel_services.h"

enum class ControlKind { Number, ColourTriple, CheckBox, Choice, SceneItem };

struct ControlRow {
    ControlKind kind;
    size_t field;              // memory index of the edited setting
    const char *const *items;  // choice list of a Choice, else null
};

#define KIVO_FIELD(name) (offsetof(MixerInstance, name) / sizeof(int32_t))

const char *controlLabel(const ControlRow &row);

// Fills the module-wide descriptor for the control's kind and adds the
// control after those added before.
void addControl(const PanelFunctions *functions, PanelHandle panel, const ControlRow &row);

void addControls(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count);

// Walks the panel's controls in the order added and sets each one's value
// from its field. False, with nothing more set, when the panel has fewer
// controls than the table.
bool showFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                const MixerInstance &instance);

// Walks the controls again and stores each one's value in its field as read.
void storeFields(const PanelFunctions *functions, PanelHandle panel, const ControlRow *rows, int count,
                 MixerInstance &instance);

#endif
