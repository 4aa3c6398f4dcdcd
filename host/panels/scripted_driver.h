// A driver that plays a fixed list of user actions, for tests and batch use.
#ifndef KIVO_HOST_PANELS_SCRIPTED_DRIVER_H
#define KIVO_HOST_PANELS_SCRIPTED_DRIVER_H

#include <string>
#include <vector>

#include "host/panels/panel_driver.h"

namespace kivo::host {

struct UserAction {
    enum class Kind { Set, Accept, Cancel } kind;
    std::string label; // Set: the control's label, exactly
    std::string value; // Set: the value as a user types it (control_value_text.h)
    std::string panel; // title the open panel must have; empty: any

    static UserAction set(std::string label, std::string value, std::string panel = {}) {
        return {Kind::Set, std::move(label), std::move(value), std::move(panel)};
    }
    static UserAction accept(std::string panel = {}) { return {Kind::Accept, {}, {}, std::move(panel)}; }
    static UserAction cancel(std::string panel = {}) { return {Kind::Cancel, {}, {}, std::move(panel)}; }
};

// A control as it was shown when its panel opened.
struct ControlSnapshot {
    ControlKind kind;
    std::string typeName;
    std::string label;
    int32_t x, y, width, height, labelWidth;
    std::vector<std::string> items;
    ControlValue value;
    std::string shown; // formatControlValue
};

struct PanelSnapshot {
    std::string title;
    int32_t width, height;
    std::vector<ControlSnapshot> controls;
    const ControlSnapshot *find(const std::string &label) const;
};

// Actions are taken in order, each by the innermost open panel: the actions
// after one that opens a settings panel (through the event callback) go to
// that panel until it is accepted or cancelled. An action that cannot be
// carried out (no such control, a value that does not fit, a different panel
// title, no action left) is recorded as a problem and cancels the panel.
class ScriptedDriver : public PanelDriver {
public:
    explicit ScriptedDriver(std::vector<UserAction> actions) : actions_(std::move(actions)) {}

    bool run(Panel &panel) override;
    void draw(Panel &panel) override;

    const std::vector<std::string> &problems() const { return problems_; }
    size_t actionsLeft() const { return actions_.size() - next_; }
    // Every panel opened, in the order opened, as it was when it opened.
    const std::vector<PanelSnapshot> &opened() const { return opened_; }
    // Titles of the panels drawn again, in order.
    const std::vector<std::string> &drawn() const { return drawn_; }

private:
    std::vector<UserAction> actions_;
    size_t next_ = 0;
    std::vector<std::string> problems_;
    std::vector<PanelSnapshot> opened_;
    std::vector<std::string> drawn_;
};

PanelSnapshot snapshotOf(const Panel &panel);

} // namespace kivo::host

#endif
