// The stand-in host's panels and controls: what the module builds through the
// panel services and what a driver shows to the user and changes.
#ifndef KIVO_HOST_PANELS_PANEL_MODEL_H
#define KIVO_HOST_PANELS_PANEL_MODEL_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contract/panel_services.h"

namespace kivo::host {

class PanelCallLog;

enum class ControlKind { Number, Choice, CheckBox, ColourTriple, SceneItem };

// The host control kind of a type name ("NumControl", ...), or false.
bool controlKindOf(std::string_view typeName, ControlKind &kind);

// A scene object offered by the scene item list.
struct SceneObject {
    int32_t id;
    std::string name;
};

// A control's value: the colour triple for ColourTriple, the scalar otherwise
// (number, choice index, check-box state, scene item identifier).
struct ControlValue {
    int32_t scalar = 0;
    std::array<int32_t, 3> triple{};
    bool operator==(const ControlValue &) const = default;
};

// Layout of new controls: a fixed character cell, one row per control.
inline constexpr int32_t kCellWidth = 8;
inline constexpr int32_t kRowHeight = 20;
inline constexpr int32_t kRowGap = 8;
inline constexpr int32_t kTopMargin = 4;

class Control;

// The record the module sees: PanelControl's three entries, then the owner.
struct ControlRecord {
    PanelControl entries;
    Control *owner;
};

class Panel;

class Control {
public:
    // items: choice texts, or the scene item list's names with itemIds parallel.
    Control(Panel &panel, ControlKind kind, std::string typeName, std::string label,
            std::vector<std::string> items, std::vector<int32_t> itemIds, int32_t y, const PanelControl &entries);
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    PanelControl *record() { return &record_.entries; }
    const PanelControl *record() const { return &record_.entries; }
    // The control behind a record this host handed out.
    static Control *fromRecord(PanelControl *record) { return reinterpret_cast<ControlRecord *>(record)->owner; }

    Panel &panel() const { return panel_; }
    ControlKind kind() const { return kind_; }
    const std::string &typeName() const { return typeName_; }
    const std::string &label() const { return label_; }
    const std::vector<std::string> &items() const { return items_; }
    const std::vector<int32_t> &itemIds() const { return itemIds_; }
    int32_t x() const { return x_; }
    int32_t y() const { return y_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t labelWidth() const { return labelWidth_; }
    const ControlValue &value() const { return value_; }
    ControlEventFunction event() const { return event_; }
    void *userData() const { return userData_; }

    // Attribute exchange with the module by ControlTag. Only the value words
    // the tag uses are touched; the record's type word is neither read nor
    // written (the module sends pointers in a type 2 record). False for a
    // tag this control does not have.
    bool getAttribute(int32_t tag, PanelValue &out) const;
    bool setAttribute(int32_t tag, const PanelValue &in);

    // Sets the value without firing the event (see Panel::userSetValue).
    void setValue(const ControlValue &value) { value_ = value; }

private:
    ControlRecord record_;
    Panel &panel_;
    ControlKind kind_;
    std::string typeName_;
    std::string label_;
    std::vector<std::string> items_;
    std::vector<int32_t> itemIds_;
    int32_t x_ = 0;
    int32_t y_;
    int32_t width_;
    int32_t height_ = kRowHeight;
    int32_t labelWidth_;
    ControlValue value_;
    ControlEventFunction event_ = nullptr;
    void *userData_ = nullptr;
};

class Panel {
public:
    Panel(std::string title, PanelCallLog &log, const PanelControl &controlEntries);
    Panel(const Panel &) = delete;
    Panel &operator=(const Panel &) = delete;

    const std::string &title() const { return title_; }
    const std::vector<std::unique_ptr<Control>> &controls() const { return controls_; }

    // Adds a control below the last one.
    Control &addControl(ControlKind kind, std::string typeName, std::string label, std::vector<std::string> items,
                        std::vector<int32_t> itemIds);
    // Null gives the first control, a control the one after it; null after
    // the last and for a control not on this panel.
    Control *next(const PanelControl *after) const;
    bool owns(const PanelControl *record) const;
    // The first control with exactly this label, or null.
    Control *findByLabel(std::string_view label) const;

    // The height set by the module (PanelTag 3), else room for every control.
    int32_t height() const;
    int32_t width() const;
    bool heightSet() const { return heightSet_; }
    void setHeight(int32_t height) {
        height_ = height;
        heightSet_ = true;
    }

    bool isOpen() const { return open_; }
    void setOpen(bool open) { open_ = open; }

    // What a user does: changes the control's value, then calls its event
    // callback, if any, with its user data. Logged.
    void userSetValue(Control &control, const ControlValue &value);

private:
    std::string title_;
    PanelCallLog &log_;
    PanelControl controlEntries_;
    std::vector<std::unique_ptr<Control>> controls_;
    int32_t height_ = 0;
    bool heightSet_ = false;
    bool open_ = false;
};

} // namespace kivo::host

#endif
