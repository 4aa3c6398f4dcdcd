// The module-wide records through which every control is added, read and
// written, and the helpers that exchange single values through them.
#ifndef KIVO_PANELS_PANEL_EXCHANGE_H
#define KIVO_PANELS_PANEL_EXCHANGE_H

#include <cstdint>

#include "contract/panel_services.h"

// Type 2: every exchange but the colour triple. Type 5: the colour triple.
// Their type words are set at load and never written again; only value
// words are written before a set and read after a get.
extern PanelValue gIntegerValue;
extern PanelValue gTripleValue;

// One descriptor serves every addition. Words a control type does not use
// keep what the previous addition left.
extern ControlDescriptor gControlDescriptor;

int32_t getControlInt(PanelControl *control, int32_t tag);
void setControlInt(PanelControl *control, int32_t tag, int32_t value);
void setControlPointer(PanelControl *control, int32_t tag, void *pointer);
void setControlEvent(PanelControl *control, ControlEventFunction event);

// The colour triple of a control, through the type 5 record.
void getControlTriple(PanelControl *control, int32_t rgb[3]);
void setControlTriple(PanelControl *control, const int32_t rgb[3]);

#endif
