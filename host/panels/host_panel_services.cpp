#include "host/panels/host_panel_services.h"

#include <algorithm>
#include <exception>

namespace kivo::host {

namespace {
PanelServices *gCurrent = nullptr;

// No exception may reach the module: a failing call reports a problem and
// gives the fallback result.
template <typename Result, typename Call>
Result guarded(Result fallback, Call call) {
    try {
        return call();
    } catch (const std::exception &error) {
        if (gCurrent != nullptr) gCurrent->problem(std::string("host failure: ") + error.what());
    } catch (...) {
        if (gCurrent != nullptr) gCurrent->problem("host failure");
    }
    return fallback;
}

void *createPanelEntry(const char *title, void *zero) {
    return guarded<void *>(nullptr, [&]() -> void * {
        return gCurrent != nullptr ? gCurrent->createPanel(title, zero) : nullptr;
    });
}

void destroyPanelEntry(void *panel) {
    guarded(0, [&] {
        if (gCurrent != nullptr) gCurrent->destroyPanel(panel);
        return 0;
    });
}

int32_t openPanelEntry(void *panel, int32_t flags) {
    return guarded<int32_t>(0, [&] { return gCurrent != nullptr ? gCurrent->openPanel(panel, flags) : 0; });
}

void drawPanelEntry(void *panel, int32_t mode) {
    guarded(0, [&] {
        if (gCurrent != nullptr) gCurrent->drawPanel(panel, mode);
        return 0;
    });
}

void setPanelAttributeEntry(void *panel, int32_t tag, const int32_t *value) {
    guarded(0, [&] {
        if (gCurrent != nullptr) gCurrent->setPanelAttribute(panel, tag, value);
        return 0;
    });
}

PanelControl *addPanelControlEntry(void *panel, const char *typeName, ControlDescriptor *descriptor,
                                   const char *label) {
    return guarded<PanelControl *>(nullptr, [&]() -> PanelControl * {
        return gCurrent != nullptr ? gCurrent->addPanelControl(panel, typeName, descriptor, label) : nullptr;
    });
}

PanelControl *nextPanelControlEntry(void *panel, PanelControl *control) {
    return guarded<PanelControl *>(nullptr, [&]() -> PanelControl * {
        return gCurrent != nullptr ? gCurrent->nextPanelControl(panel, control) : nullptr;
    });
}

void getControlEntry(PanelControl *control, int32_t tag, PanelValue *value) {
    guarded(0, [&] {
        if (gCurrent != nullptr && control != nullptr)
            gCurrent->getControlAttribute(*Control::fromRecord(control), tag, value);
        return 0;
    });
}

void setControlEntry(PanelControl *control, int32_t tag, PanelValue *value) {
    guarded(0, [&] {
        if (gCurrent != nullptr && control != nullptr)
            gCurrent->setControlAttribute(*Control::fromRecord(control), tag, value);
        return 0;
    });
}

std::string textOf(const char *text) { return text != nullptr ? text : ""; }

int32_t valueTypeOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Number: return VALUE_INTEGER;
    case ControlKind::Choice: return VALUE_CHOICE;
    case ControlKind::CheckBox: return VALUE_BOOLEAN;
    case ControlKind::ColourTriple: return VALUE_INTEGER_TRIPLE;
    case ControlKind::SceneItem: return VALUE_SCENE_ITEM;
    }
    return 0;
}

// A choice list from the module: texts up to the null entry.
std::vector<std::string> choiceItems(const char *const *items) {
    constexpr size_t kMostItems = 256;
    std::vector<std::string> texts;
    for (size_t i = 0; items != nullptr && items[i] != nullptr && i < kMostItems; ++i) texts.emplace_back(items[i]);
    return texts;
}

// Value words the host wrote (get) or took (set) for the tag.
void recordValueWords(PanelCall &call, const Control &control, int32_t tag, const PanelValue &value) {
    if (tag == CTAG_EVENT || tag == CTAG_USER_DATA)
        call.pointer = value.value.pointer;
    else if (tag == CTAG_VALUE && control.kind() == ControlKind::ColourTriple)
        call.values.assign(value.value.rgb, value.value.rgb + 3);
    else
        call.values.push_back(value.value.intValue);
}
} // namespace

std::vector<SceneObject> sceneObjectsOf(const ItemTable &items) {
    std::vector<SceneObject> objects;
    for (const auto &[id, item] : items.items()) objects.push_back({id, item.name});
    return objects;
}

PanelServices::PanelServices(std::vector<SceneObject> sceneObjects)
    : sceneObjects_(std::move(sceneObjects)), previous_(gCurrent),
      global_(KIVO_PANEL_SERVICES_NAME, &functions_) {
    functions_.createPanel = createPanelEntry;
    functions_.destroyPanel = destroyPanelEntry;
    functions_.openPanel = openPanelEntry;
    functions_.drawPanel = drawPanelEntry;
    functions_.setPanelAttribute = setPanelAttributeEntry;
    functions_.addPanelControl = addPanelControlEntry;
    functions_.nextPanelControl = nextPanelControlEntry;
    controlEntries_.get = getControlEntry;
    controlEntries_.set = setControlEntry;
    gCurrent = this;
}

PanelServices::~PanelServices() {
    if (gCurrent == this) gCurrent = previous_;
}

PanelServices *PanelServices::current() { return gCurrent; }

void PanelServices::problem(std::string text) {
    PanelCall call{PanelCall::Op::Problem};
    call.text = std::move(text);
    log_.add(std::move(call));
}

Panel *PanelServices::findPanel(void *handle) const {
    for (const auto &panel : panels_)
        if (panel.get() == handle) return panel.get();
    return nullptr;
}

Panel *PanelServices::createPanel(const char *title, void *zero) {
    PanelCall call{PanelCall::Op::CreatePanel};
    call.text = textOf(title);
    call.pointer = zero;
    if (refusesPanel(call.text)) {
        call.result = "null";
        log_.add(std::move(call));
        return nullptr;
    }
    log_.add(call);
    panels_.push_back(std::make_unique<Panel>(call.text, log_, controlEntries_));
    return panels_.back().get();
}

void PanelServices::destroyNow(Panel *panel) {
    destroyWhenClosed_.erase(panel);
    panels_.erase(std::remove_if(panels_.begin(), panels_.end(),
                                 [panel](const std::unique_ptr<Panel> &p) { return p.get() == panel; }),
                  panels_.end());
}

void PanelServices::destroyPanel(void *handle) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) return problem("destroyPanel of an unknown panel");
    log_.add(PanelCall{PanelCall::Op::DestroyPanel, panel->title()});
    // A panel destroyed from inside its own event callback goes once it closes.
    if (panel->isOpen())
        destroyWhenClosed_.insert(panel);
    else
        destroyNow(panel);
}

int32_t PanelServices::openPanel(void *handle, int32_t flags) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) {
        problem("openPanel of an unknown panel");
        return 0;
    }
    PanelCall call{PanelCall::Op::OpenPanel, panel->title()};
    call.code = flags;
    const size_t index = log_.size();
    log_.add(std::move(call));
    if (panel->isOpen()) {
        problem("openPanel of a panel already open: " + panel->title());
        log_.at(index).result = "0";
        return 0;
    }
    panel->setOpen(true);
    bool accepted = false;
    if (driver_ != nullptr) {
        try {
            accepted = driver_->run(*panel);
        } catch (const std::exception &error) {
            problem(std::string("driver failure: ") + error.what());
        }
    }
    panel->setOpen(false);
    log_.at(index).result = accepted ? "1" : "0";
    if (destroyWhenClosed_.count(panel) != 0) destroyNow(panel);
    return accepted ? 1 : 0;
}

void PanelServices::drawPanel(void *handle, int32_t mode) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) return problem("drawPanel of an unknown panel");
    PanelCall call{PanelCall::Op::DrawPanel, panel->title()};
    call.code = mode;
    log_.add(std::move(call));
    if (driver_ != nullptr) driver_->draw(*panel);
}

void PanelServices::setPanelAttribute(void *handle, int32_t tag, const int32_t *value) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) return problem("setPanelAttribute of an unknown panel");
    PanelCall call{PanelCall::Op::SetPanelAttribute, panel->title()};
    call.code = tag;
    if (value != nullptr) call.values.push_back(*value);
    log_.add(std::move(call));
    if (value == nullptr) return problem("setPanelAttribute without a value");
    if (tag == PTAG_HEIGHT) panel->setHeight(*value);
    else problem("setPanelAttribute: unknown tag " + std::to_string(tag));
}

PanelControl *PanelServices::addPanelControl(void *handle, const char *typeName, const ControlDescriptor *descriptor,
                                             const char *label) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) {
        problem("addPanelControl to an unknown panel");
        return nullptr;
    }
    PanelCall call{PanelCall::Op::AddPanelControl, panel->title(), textOf(label)};
    call.text = textOf(typeName);
    if (descriptor != nullptr) call.descriptor = *descriptor;
    ControlKind kind{};
    const bool known = controlKindOf(call.text, kind);
    if (known && kind == ControlKind::Choice) call.items = choiceItems(call.descriptor.word1.items);
    if (!known || descriptor == nullptr || refusesControl(call.text)) {
        call.result = "null";
        log_.add(std::move(call));
        return nullptr;
    }
    log_.add(call);
    if (call.descriptor.type != valueTypeOf(kind))
        problem("descriptor type " + std::to_string(call.descriptor.type) + " for " + call.text);

    std::vector<std::string> items = call.items;
    std::vector<int32_t> ids;
    if (kind == ControlKind::SceneItem) {
        items.assign(1, "(none)");
        ids.assign(1, 0);
        for (const SceneObject &object : sceneObjects_) {
            items.push_back(object.name);
            ids.push_back(object.id);
        }
    }
    return panel->addControl(kind, call.text, call.control, std::move(items), std::move(ids)).record();
}

PanelControl *PanelServices::nextPanelControl(void *handle, PanelControl *control) {
    Panel *panel = findPanel(handle);
    if (panel == nullptr) {
        problem("nextPanelControl of an unknown panel");
        return nullptr;
    }
    if (control != nullptr && !panel->owns(control)) {
        problem("nextPanelControl after a control not on " + panel->title());
        return nullptr;
    }
    PanelCall call{PanelCall::Op::NextPanelControl, panel->title()};
    if (control != nullptr) call.control = Control::fromRecord(control)->label();
    Control *next = panel->next(control);
    if (next != nullptr) call.result = next->label();
    log_.add(std::move(call));
    return next != nullptr ? next->record() : nullptr;
}

void PanelServices::getControlAttribute(Control &control, int32_t tag, PanelValue *value) {
    if (value == nullptr) return problem("get without a value record on " + control.label());
    PanelCall call{PanelCall::Op::GetAttribute, control.panel().title(), control.label()};
    call.code = tag;
    call.valueType = value->type;
    const bool known = control.getAttribute(tag, *value);
    if (known) recordValueWords(call, control, tag, *value);
    log_.add(std::move(call));
    if (!known) problem("get of unknown tag " + std::to_string(tag) + " on " + control.label());
}

void PanelServices::setControlAttribute(Control &control, int32_t tag, PanelValue *value) {
    if (value == nullptr) return problem("set without a value record on " + control.label());
    PanelCall call{PanelCall::Op::SetAttribute, control.panel().title(), control.label()};
    call.code = tag;
    call.valueType = value->type;
    recordValueWords(call, control, tag, *value);
    log_.add(std::move(call));
    if (!control.setAttribute(tag, *value))
        problem("set of unknown tag " + std::to_string(tag) + " on " + control.label());
}

} // namespace kivo::host
