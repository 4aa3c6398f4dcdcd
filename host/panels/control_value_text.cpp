#include "host/panels/control_value_text.h"

#include <charconv>
#include <vector>

namespace kivo::host {

namespace {
std::optional<int32_t> parseInteger(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int32_t> itemIndex(const std::vector<std::string> &items, std::string_view text) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return static_cast<int32_t>(i);
    for (size_t i = 0; i < items.size(); ++i)
        if (trimmed(items[i]) == trimmed(text)) return static_cast<int32_t>(i);
    return std::nullopt;
}

std::optional<int32_t> parseSwitch(std::string_view text) {
    text = trimmed(text);
    for (std::string_view on : {"1", "on", "yes", "true"})
        if (text == on) return 1;
    for (std::string_view off : {"0", "off", "no", "false"})
        if (text == off) return 0;
    return std::nullopt;
}

std::optional<std::array<int32_t, 3>> parseTriple(std::string_view text) {
    std::array<int32_t, 3> triple{};
    size_t count = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(", ", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(start, end - start);
        if (!part.empty()) {
            const auto value = parseInteger(part);
            if (!value || count == 3) return std::nullopt;
            triple[count++] = *value;
        }
        start = end + 1;
    }
    if (count != 3) return std::nullopt;
    return triple;
}

std::optional<int32_t> parseSceneItem(const Control &control, std::string_view text) {
    const std::string_view name = trimmed(text);
    if (name == "none" || name == "(none)") return 0;
    for (size_t i = 0; i < control.items().size(); ++i)
        if (control.items()[i] == name) return control.itemIds()[i];
    const auto id = parseInteger(name);
    if (!id) return std::nullopt;
    if (*id == 0) return 0;
    for (int32_t known : control.itemIds())
        if (known == *id) return *id;
    return std::nullopt;
}
} // namespace

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<ControlValue> parseControlValue(const Control &control, std::string_view text) {
    ControlValue value;
    std::optional<int32_t> scalar;
    switch (control.kind()) {
    case ControlKind::Number: scalar = parseInteger(text); break;
    case ControlKind::Choice:
        scalar = itemIndex(control.items(), text);
        if (!scalar) {
            scalar = parseInteger(text);
            if (scalar && (*scalar < 0 || static_cast<size_t>(*scalar) >= control.items().size()))
                scalar.reset();
        }
        break;
    case ControlKind::CheckBox: scalar = parseSwitch(text); break;
    case ControlKind::SceneItem: scalar = parseSceneItem(control, text); break;
    case ControlKind::ColourTriple: {
        const auto triple = parseTriple(text);
        if (!triple) return std::nullopt;
        value.triple = *triple;
        return value;
    }
    }
    if (!scalar) return std::nullopt;
    value.scalar = *scalar;
    return value;
}

std::string formatControlValue(const Control &control) {
    const ControlValue &value = control.value();
    switch (control.kind()) {
    case ControlKind::Number: return std::to_string(value.scalar);
    case ControlKind::Choice:
        if (value.scalar >= 0 && static_cast<size_t>(value.scalar) < control.items().size())
            return std::string(trimmed(control.items()[value.scalar]));
        return "#" + std::to_string(value.scalar);
    case ControlKind::CheckBox: return value.scalar != 0 ? "on" : "off";
    case ControlKind::ColourTriple:
        return std::to_string(value.triple[0]) + " " + std::to_string(value.triple[1]) + " " +
               std::to_string(value.triple[2]);
    case ControlKind::SceneItem:
        for (size_t i = 0; i < control.itemIds().size(); ++i)
            if (control.itemIds()[i] == value.scalar) return control.items()[i];
        return "#" + std::to_string(value.scalar);
    }
    return {};
}

} // namespace kivo::host
