// What one activation of the options interface shares with the effect
// choice's event callback.
#ifndef KIVO_PANELS_PANEL_CONTEXT_H
#define KIVO_PANELS_PANEL_CONTEXT_H

#include "contract/host_abi.h"
#include "contract/panel_services.h"
#include "instance/mixer_instance.h"

// Allocated by editInstanceSettings, released before it returns. Its address is
// the effect choice's user data.
struct PanelContext {
    const PanelFunctions *functions; // the "LWPanelServices" table
    PanelHandle panel;               // the main options panel
    MixerInstance *instance;         // the instance being edited
    GlobalLookup lookup;             // saved by the handler's activation; null before one succeeded
    const MessageService *messages;  // saved by the handler's activation, or null
};

#endif
