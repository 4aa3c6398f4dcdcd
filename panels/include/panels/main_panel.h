// The interface server's work: the main options panel.
#ifndef KIVO_PANELS_MAIN_PANEL_H
#define KIVO_PANELS_MAIN_PANEL_H

#include <cstdint>

#include "contract/host_abi.h"

// Edits the instance `local` in the main panel, through the panel services
// found with savedLookup (the lookup the handler's activation saved, or null),
// showing errors and warnings through messages (may be null). Returns the
// interface activation's result.
int32_t editInstanceSettings(void *local, GlobalLookup savedLookup, const MessageService *messages);

#endif
