// The interactive panel driver of `vidmixer edit`: shows the open panel in
// the terminal with ncurses and lets the user change its controls. A
// settings panel that the module opens from an event callback is shown in
// its place until it is closed.
//
// Keys: Up/Down or Tab move between the controls and the OK and Cancel
// buttons; Left/Right step a choice, number, check box or scene item;
// Space toggles a check box or steps a choice; Enter types a new value (or
// presses the button under the cursor); F10 accepts; Esc cancels.
#ifndef KIVO_HOST_CLI_TERMINAL_DRIVER_H
#define KIVO_HOST_CLI_TERMINAL_DRIVER_H

#include <string>
#include <vector>

#include "host/panels/panel_driver.h"

namespace kivo::cli {

class TerminalDriver : public host::PanelDriver {
public:
    TerminalDriver() = default;
    ~TerminalDriver() override;
    TerminalDriver(const TerminalDriver &) = delete;
    TerminalDriver &operator=(const TerminalDriver &) = delete;

    bool run(host::Panel &panel) override;
    void draw(host::Panel &panel) override;

    // Gives the terminal back (also done when the outermost panel closes).
    void close();

private:
    enum class Outcome { Open, Accepted, Cancelled };

    void start();
    void render(const host::Panel &panel, size_t focus);
    Outcome handleKey(host::Panel &panel, size_t &focus, int key);
    void step(host::Panel &panel, host::Control &control, int direction);
    void typeValue(host::Panel &panel, host::Control &control);
    std::string prompt(const std::string &question);

    std::vector<host::Panel *> open_; // outermost first
    std::string message_;             // shown under the panel until the next key
    bool started_ = false;
};

} // namespace kivo::cli

#endif
