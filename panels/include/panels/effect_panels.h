// The effect choice's event callback and the settings panels it opens.
#ifndef KIVO_PANELS_EFFECT_PANELS_H
#define KIVO_PANELS_EFFECT_PANELS_H

#include "contract/panel_services.h"

extern "C" {
// userData is the activation's PanelContext. Opens the settings panel of the
// chosen look ("RGB", "B&W Film"); what the user accepts there goes straight
// into the instance. Always ends by redrawing the main panel.
void onEffectChoice(PanelControl *control, void *userData);
}

#endif
