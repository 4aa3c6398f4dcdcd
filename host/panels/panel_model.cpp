#include "host/panels/panel_model.h"

#include <algorithm>

#include "host/panels/panel_call_log.h"

namespace kivo::host {

namespace {
constexpr int32_t kTagWidth = 2; // ControlTag of the control's width, read only

int32_t textWidth(size_t characters) { return static_cast<int32_t>(characters) * kCellWidth; }

size_t longest(const std::vector<std::string> &texts, size_t atLeast) {
    size_t result = atLeast;
    for (const std::string &text : texts) result = std::max(result, text.size());
    return result;
}

// Width of the part right of the label, by kind.
int32_t fieldWidth(ControlKind kind, const std::vector<std::string> &items) {
    switch (kind) {
    case ControlKind::Number: return textWidth(8);
    case ControlKind::Choice: return textWidth(longest(items, 1) + 3);
    case ControlKind::CheckBox: return textWidth(3);
    case ControlKind::ColourTriple: return textWidth(3 * 5);
    case ControlKind::SceneItem: return textWidth(longest(items, 8) + 3);
    }
    return 0;
}
} // namespace

bool controlKindOf(std::string_view typeName, ControlKind &kind) {
    static const std::pair<std::string_view, ControlKind> kTypes[] = {
        {"NumControl", ControlKind::Number},        {"ChoiceControl", ControlKind::Choice},
        {"BoolControl", ControlKind::CheckBox},     {"MiniRGBControl", ControlKind::ColourTriple},
        {"LWListControl", ControlKind::SceneItem},
    };
    for (const auto &[name, k] : kTypes)
        if (name == typeName) {
            kind = k;
            return true;
        }
    return false;
}

Control::Control(Panel &panel, ControlKind kind, std::string typeName, std::string label,
                 std::vector<std::string> items, std::vector<int32_t> itemIds, int32_t y,
                 const PanelControl &entries)
    : record_{entries, this}, panel_(panel), kind_(kind), typeName_(std::move(typeName)), label_(std::move(label)),
      items_(std::move(items)), itemIds_(std::move(itemIds)), y_(y) {
    labelWidth_ = textWidth(label_.size());
    width_ = labelWidth_ + kCellWidth + fieldWidth(kind_, items_);
}

bool Control::getAttribute(int32_t tag, PanelValue &out) const {
    switch (tag) {
    case CTAG_X: out.value.intValue = x_; return true;
    case CTAG_Y: out.value.intValue = y_; return true;
    case kTagWidth: out.value.intValue = width_; return true;
    case CTAG_HEIGHT: out.value.intValue = height_; return true;
    case CTAG_LABEL_WIDTH: out.value.intValue = labelWidth_; return true;
    case CTAG_VALUE:
        if (kind_ == ControlKind::ColourTriple)
            for (int i = 0; i < 3; ++i) out.value.rgb[i] = value_.triple[i];
        else
            out.value.intValue = value_.scalar;
        return true;
    case CTAG_EVENT: out.value.event = event_; return true;
    case CTAG_USER_DATA: out.value.pointer = userData_; return true;
    default: return false;
    }
}

bool Control::setAttribute(int32_t tag, const PanelValue &in) {
    switch (tag) {
    case CTAG_X: x_ = in.value.intValue; return true;
    case CTAG_Y: y_ = in.value.intValue; return true;
    case CTAG_VALUE:
        // Kept as given, even outside the control's range, so that a value the
        // user does not touch reads back unchanged.
        if (kind_ == ControlKind::ColourTriple)
            for (int i = 0; i < 3; ++i) value_.triple[i] = in.value.rgb[i];
        else
            value_.scalar = in.value.intValue;
        return true;
    case CTAG_EVENT: event_ = in.value.event; return true;
    case CTAG_USER_DATA: userData_ = in.value.pointer; return true;
    default: return false;
    }
}

Panel::Panel(std::string title, PanelCallLog &log, const PanelControl &controlEntries)
    : title_(std::move(title)), log_(log), controlEntries_(controlEntries) {}

Control &Panel::addControl(ControlKind kind, std::string typeName, std::string label, std::vector<std::string> items,
                           std::vector<int32_t> itemIds) {
    const int32_t y = controls_.empty() ? kTopMargin : controls_.back()->y() + controls_.back()->height() + kRowGap;
    controls_.push_back(std::make_unique<Control>(*this, kind, std::move(typeName), std::move(label),
                                                  std::move(items), std::move(itemIds), y, controlEntries_));
    return *controls_.back();
}

Control *Panel::next(const PanelControl *after) const {
    if (after == nullptr) return controls_.empty() ? nullptr : controls_.front().get();
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i]->record() == after) return i + 1 < controls_.size() ? controls_[i + 1].get() : nullptr;
    return nullptr;
}

bool Panel::owns(const PanelControl *record) const {
    return std::any_of(controls_.begin(), controls_.end(),
                       [record](const std::unique_ptr<Control> &c) { return c->record() == record; });
}

Control *Panel::findByLabel(std::string_view label) const {
    for (const auto &control : controls_)
        if (control->label() == label) return control.get();
    return nullptr;
}

int32_t Panel::height() const {
    if (heightSet_) return height_;
    int32_t bottom = 0;
    for (const auto &control : controls_) bottom = std::max(bottom, control->y() + control->height());
    return bottom + kRowGap;
}

int32_t Panel::width() const {
    int32_t right = textWidth(title_.size() + 4);
    for (const auto &control : controls_) right = std::max(right, control->x() + control->width());
    return right + kCellWidth;
}

void Panel::userSetValue(Control &control, const ControlValue &value) {
    control.setValue(value);
    PanelCall call{PanelCall::Op::UserSet, title_, control.label()};
    if (control.kind() == ControlKind::ColourTriple)
        call.values.assign(value.triple.begin(), value.triple.end());
    else
        call.values.push_back(value.scalar);
    log_.add(std::move(call));
    if (control.event() == nullptr) return;
    log_.add(PanelCall{PanelCall::Op::Event, title_, control.label()});
    control.event()(control.record(), control.userData());
}

} // namespace kivo::host
