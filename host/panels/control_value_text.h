// A control's value as a user reads and types it, shared by every driver.
#ifndef KIVO_HOST_PANELS_CONTROL_VALUE_TEXT_H
#define KIVO_HOST_PANELS_CONTROL_VALUE_TEXT_H

#include <optional>
#include <string>
#include <string_view>

#include "host/panels/panel_model.h"

namespace kivo::host {

// What the user typed, as a value of this control, or nothing when it does
// not fit the control:
// - number: a decimal 32-bit integer;
// - choice: an item's text, exactly or without its surrounding spaces, or
//   its 0-based index;
// - check box: 1/0, on/off, yes/no, true/false;
// - colour triple: three integers separated by commas or spaces;
// - scene item: an object's name or identifier, or "none" / "(none)" / 0.
std::optional<ControlValue> parseControlValue(const Control &control, std::string_view text);

// The value as shown: the chosen item's text (trimmed), "on"/"off", "r g b",
// the scene object's name, or the number. A value outside the control's list
// shows as "#<value>".
std::string formatControlValue(const Control &control);

// A text without leading and trailing spaces.
std::string_view trimmed(std::string_view text);

} // namespace kivo::host

#endif
