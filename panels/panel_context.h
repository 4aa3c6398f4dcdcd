// What one activation of the options interface shares with the effect
// choice's event callback.
#ifndef KIVO_PANELS_PANEL_CONTEXT_H
#define KIVO_PANELS_PANEL_CONTEXT_H

#include "module/mixer_instance.h"
#include "panels/panel_services.h"

// Allocated by activateInterface, released before it returns. Its address is
// the effect choice's user data.
struct PanelContext {
    const PanelFunctions *functions; // the "LWPanelServices" table
    PanelHandle panel;               // the main options panel
    MixerInstance *instance;         // the instance being edited
};

#endif
