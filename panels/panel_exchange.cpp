#include "panels/panel_exchange.h"

PanelValue gIntegerValue = {VALUE_INTEGER, {}};
PanelValue gTripleValue = {VALUE_INTEGER_TRIPLE, {}};
ControlDescriptor gControlDescriptor = {0, {nullptr}, 0, 0, 0};

int32_t getControlInt(PanelControl *control, int32_t tag) {
    control->get(control, tag, &gIntegerValue);
    return gIntegerValue.value.intValue;
}

void setControlInt(PanelControl *control, int32_t tag, int32_t value) {
    gIntegerValue.value.intValue = value;
    control->set(control, tag, &gIntegerValue);
}

void setControlPointer(PanelControl *control, int32_t tag, void *pointer) {
    gIntegerValue.value.pointer = pointer;
    control->set(control, tag, &gIntegerValue);
}

void setControlEvent(PanelControl *control, ControlEventFunction event) {
    gIntegerValue.value.event = event;
    control->set(control, CTAG_EVENT, &gIntegerValue);
}

void getControlTriple(PanelControl *control, int32_t rgb[3]) {
    control->get(control, CTAG_VALUE, &gTripleValue);
    for (int i = 0; i < 3; ++i) rgb[i] = gTripleValue.value.rgb[i];
}

void setControlTriple(PanelControl *control, const int32_t rgb[3]) {
    for (int i = 0; i < 3; ++i) gTripleValue.value.rgb[i] = rgb[i];
    control->set(control, CTAG_VALUE, &gTripleValue);
}
