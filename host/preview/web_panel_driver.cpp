#include "host/preview/web_panel_driver.h"

#include <exception>

#include "host/cli/edit_command.h"
#include "host/panels/control_value_text.h"

namespace kivo::preview {
namespace {

const char *kindName(host::ControlKind kind) {
    switch (kind) {
    case host::ControlKind::Number: return "number";
    case host::ControlKind::Choice: return "choice";
    case host::ControlKind::CheckBox: return "checkbox";
    case host::ControlKind::ColourTriple: return "colour";
    case host::ControlKind::SceneItem: return "item";
    }
    return "";
}

const char *messageKind(host::HostMessage::Kind kind) {
    switch (kind) {
    case host::HostMessage::Kind::Info: return "info";
    case host::HostMessage::Kind::Error: return "error";
    case host::HostMessage::Kind::Warning: return "warning";
    }
    return "";
}

nlohmann::json controlJson(const host::Control &control, size_t index) {
    nlohmann::json value = control.value().scalar;
    if (control.kind() == host::ControlKind::ColourTriple) value = control.value().triple;
    return {{"index", index},
            {"kind", kindName(control.kind())},
            {"type", control.typeName()},
            {"label", control.label()},
            {"x", control.x()},
            {"y", control.y()},
            {"width", control.width()},
            {"height", control.height()},
            {"labelWidth", control.labelWidth()},
            {"items", control.items()},
            {"itemIds", control.itemIds()},
            {"value", value},
            {"shown", host::formatControlValue(control)}};
}

// The value text the shared parser takes, from the page's number or triple.
std::string valueText(const nlohmann::json &value) {
    const auto integer = [](const nlohmann::json &number) {
        if (!number.is_number_integer() || number.get<int64_t>() < INT32_MIN || number.get<int64_t>() > INT32_MAX)
            throw BadRequest("a control's value is a whole number from -2147483648 to 2147483647");
        return std::to_string(number.get<int64_t>());
    };
    if (!value.is_array()) return integer(value);
    if (value.size() != 3) throw BadRequest("a colour is [red, green, blue]");
    return integer(value[0]) + " " + integer(value[1]) + " " + integer(value[2]);
}

} // namespace

nlohmann::json panelJson(const host::Panel &panel) {
    nlohmann::json controls = nlohmann::json::array();
    for (size_t i = 0; i < panel.controls().size(); ++i) controls.push_back(controlJson(*panel.controls()[i], i));
    return {{"title", panel.title()}, {"width", panel.width()}, {"height", panel.height()}, {"controls", controls}};
}

void WebPanelDriver::reset() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    refused_.clear();
    open_.clear();
    panels_ = nlohmann::json::array();
    outcome_ = nullptr;
    finished_ = false;
    cancelling_ = false;
}

void WebPanelDriver::publish() {
    ++serial_;
    panels_ = nlohmann::json::array();
    for (const host::Panel *panel : open_) panels_.push_back(panelJson(*panel));
    hub_.publish("panel", stateLocked());
}

bool WebPanelDriver::run(host::Panel &panel) {
    std::unique_lock lock(mutex_);
    open_.push_back(&panel);
    bool accepted = false;
    for (;;) {
        publish();
        answered_ = taken_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !queue_.empty() || cancelling_; });
        if (cancelling_) break;
        const Action action = queue_.front();
        queue_.erase(queue_.begin());
        taken_ = action.id;
        const std::string kind = action.body.value("action", "");
        if (action.body.value("panel", 0) != static_cast<int>(open_.size())) {
            refused_[action.id] = "the action is for another panel than \"" + panel.title() + "\", the one open";
        } else if (kind == "ok" || kind == "cancel") {
            accepted = kind == "ok";
            break;
        } else if (kind != "set") {
            refused_[action.id] = "unknown panel action \"" + kind + "\" (set, ok, cancel)";
        } else if (!carryOut(panel, action.body, lock)) {
            continue;
        }
    }
    open_.pop_back();
    return accepted;
}

bool WebPanelDriver::carryOut(host::Panel &panel, const nlohmann::json &body, std::unique_lock<std::mutex> &lock) {
    const uint64_t id = taken_;
    try {
        const nlohmann::json &index = body.at("control");
        if (!index.is_number_integer() || index.get<int64_t>() < 0 || index.get<size_t>() >= panel.controls().size())
            throw BadRequest("\"" + panel.title() + "\" has no control " + index.dump());
        host::Control &control = *panel.controls()[index.get<size_t>()];
        const std::string text = valueText(body.at("value"));
        const std::optional<host::ControlValue> value = host::parseControlValue(control, text);
        if (!value) throw BadRequest(text + " does not fit \"" + control.label() + "\"");
        lock.unlock();
        panel.userSetValue(control, *value); // may run a settings panel, nested
        lock.lock();
        return true;
    } catch (const std::exception &error) {
        if (!lock.owns_lock()) lock.lock();
        refused_[id] = error.what();
        return false;
    }
}

void WebPanelDriver::draw(host::Panel &) {
    std::lock_guard lock(mutex_);
    publish();
}

void WebPanelDriver::finish(nlohmann::json outcome) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    outcome_ = std::move(outcome);
    open_.clear();
    answered_ = taken_;
    publish();
    changed_.notify_all();
}

nlohmann::json WebPanelDriver::stateLocked() const {
    return {{"open", !finished_}, {"panels", panels_}, {"outcome", outcome_}, {"serial", serial_}};
}

nlohmann::json WebPanelDriver::state() const {
    std::lock_guard lock(mutex_);
    return stateLocked();
}

nlohmann::json WebPanelDriver::awaitShown() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !open_.empty(); });
    return stateLocked();
}

nlohmann::json WebPanelDriver::act(const nlohmann::json &action) {
    std::unique_lock lock(mutex_);
    if (finished_) throw BadRequest("no module panel is open");
    const uint64_t id = nextId_++;
    queue_.push_back({id, action});
    changed_.notify_all();
    changed_.wait(lock, [&] { return answered_ >= id || finished_; });
    if (auto refused = refused_.find(id); refused != refused_.end()) {
        const std::string why = refused->second;
        refused_.erase(refused);
        throw BadRequest(why);
    }
    return stateLocked();
}

void WebPanelDriver::cancelAll() {
    std::lock_guard lock(mutex_);
    cancelling_ = true;
    changed_.notify_all();
}

nlohmann::json PanelSession::open(size_t filter) {
    {
        std::lock_guard lock(mutex_);
        if (running_) throw BadRequest("a module panel is open already");
        if (thread_.joinable()) thread_.join();
        driver_.reset();
        running_ = true;
        thread_ = std::thread([this, filter] { activate(filter); });
    }
    return driver_.awaitShown();
}

bool PanelSession::isOpen() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void PanelSession::close() {
    driver_.cancelAll();
    std::thread activation;
    {
        std::lock_guard lock(mutex_);
        activation = std::move(thread_);
    }
    if (activation.joinable()) activation.join();
}

void PanelSession::activate(size_t filter) {
    nlohmann::json outcome;
    try {
        const std::unique_lock gate = session_.editGate();
        scene::Scene scene = session_.snapshot().scene;
        const cli::EditOutcome result = cli::editFilter(scene, filter, session_.modulePath(), driver_);
        if (result.accepted) session_.setRecord(filter, scene.filters[filter].record);
        nlohmann::json messages = nlohmann::json::array();
        for (const host::HostMessage &message : result.messages)
            messages.push_back(
                {{"kind", messageKind(message.kind)}, {"line1", message.line1}, {"line2", message.line2}});
        outcome = {{"filter", filter},
                   {"accepted", result.accepted},
                   {"changed", result.changed},
                   {"activation", result.activation},
                   {"messages", messages}};
    } catch (const std::exception &error) {
        outcome = {{"filter", filter}, {"error", error.what()}};
    }
    driver_.finish(outcome);
    std::lock_guard lock(mutex_);
    running_ = false;
}

} // namespace kivo::preview
