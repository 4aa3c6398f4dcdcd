#include "panels/main_panel.h"

// Placeholder until the panels land: reports the panel services as missing.
int32_t activateInterface(int32_t, GlobalLookup, void *, void *) { return AFUNC_BADGLOBAL; }
