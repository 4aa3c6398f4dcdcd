// The user's side of a modal panel. The panel services hand every opened
// panel to the installed driver; a driver shows it, lets the user change
// controls and reports how the panel was closed.
#ifndef KIVO_HOST_PANELS_PANEL_DRIVER_H
#define KIVO_HOST_PANELS_PANEL_DRIVER_H

#include "host/panels/panel_model.h"

namespace kivo::host {

class PanelDriver {
public:
    virtual ~PanelDriver() = default;

    // Runs the open panel until the user closes it: true when accepted, false
    // when cancelled. The driver reads the panel through Panel/Control
    // (title, controls() in the order added with kind, label, x, y, width,
    // height, labelWidth, items, value) and changes values only through
    // Panel::userSetValue, which calls the control's event callback. That
    // callback may open another panel: run is then called again, nested,
    // for the new panel before userSetValue returns. Must not throw.
    virtual bool run(Panel &panel) = 0;

    // The module asked for the panel to be drawn again (drawPanel); it may be
    // a panel further out than the one being run.
    virtual void draw(Panel &panel) = 0;
};

} // namespace kivo::host

#endif
