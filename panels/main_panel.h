// The interface server's activation: the main options panel.
#ifndef KIVO_PANELS_MAIN_PANEL_H
#define KIVO_PANELS_MAIN_PANEL_H

#include <cstdint>

#include "module/host_abi.h"

extern "C" {
int32_t activateInterface(int32_t version, GlobalLookup lookup, void *local, void *serverData);
}

#endif
