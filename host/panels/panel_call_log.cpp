#include "host/panels/panel_call_log.h"

#include <sstream>

namespace kivo::host {

namespace {
std::string quoted(const std::string &text) { return "\"" + text + "\""; }
const char *pointerText(const void *pointer) { return pointer == nullptr ? "null" : "ptr"; }

// The descriptor words that the control's type uses.
std::string descriptorText(const PanelCall &call) {
    const ControlDescriptor &d = call.descriptor;
    std::ostringstream out;
    out << "{" << d.type;
    switch (d.type) {
    case VALUE_INTEGER:
    case VALUE_INTEGER_TRIPLE:
    case VALUE_BOOLEAN: break;
    case VALUE_CHOICE: {
        out << ", [";
        for (size_t i = 0; i < call.items.size(); ++i) out << (i ? ", " : "") << quoted(call.items[i]);
        out << "], " << d.word2;
        break;
    }
    default:
        out << ", " << pointerText(d.word1.pointer) << ", " << d.word2 << ", " << d.word3 << ", " << d.word4;
        break;
    }
    out << "}";
    return out.str();
}

std::string valuesText(const PanelCall &call) {
    std::ostringstream out;
    if (call.code == CTAG_EVENT || call.code == CTAG_USER_DATA) {
        out << pointerText(call.pointer);
    } else {
        for (size_t i = 0; i < call.values.size(); ++i) out << (i ? " " : "") << call.values[i];
    }
    return out.str();
}
} // namespace

std::string PanelCall::line() const {
    std::ostringstream out;
    switch (op) {
    case Op::CreatePanel: out << "createPanel " << quoted(text) << " " << (pointer ? "ptr" : "0"); break;
    case Op::DestroyPanel: out << "destroyPanel " << quoted(panel); break;
    case Op::OpenPanel: out << "openPanel " << quoted(panel) << " " << code << " -> " << result; break;
    case Op::DrawPanel: out << "drawPanel " << quoted(panel) << " " << code; break;
    case Op::SetPanelAttribute:
        out << "setPanelAttribute " << quoted(panel) << " " << code << " " << (values.empty() ? 0 : values[0]);
        break;
    case Op::AddPanelControl:
        out << "addPanelControl " << quoted(panel) << " " << text << " " << descriptorText(*this) << " "
            << quoted(control);
        break;
    case Op::NextPanelControl:
        out << "nextPanelControl " << quoted(panel) << " " << (control.empty() ? "null" : quoted(control))
            << " -> " << (result.empty() ? "null" : quoted(result));
        break;
    case Op::GetAttribute:
        out << "get " << quoted(panel) << " " << quoted(control) << " " << code << " <" << valueType << "> -> "
            << valuesText(*this);
        break;
    case Op::SetAttribute:
        out << "set " << quoted(panel) << " " << quoted(control) << " " << code << " <" << valueType << "> "
            << valuesText(*this);
        break;
    case Op::UserSet: {
        out << "user " << quoted(panel) << " " << quoted(control);
        for (int32_t v : values) out << " " << v;
        break;
    }
    case Op::Event: out << "event " << quoted(panel) << " " << quoted(control); break;
    case Op::Problem: out << "problem " << text; break;
    }
    // Calls that return a panel or control say so only when they refused.
    if ((op == Op::CreatePanel || op == Op::AddPanelControl) && !result.empty()) out << " -> " << result;
    return out.str();
}

std::vector<std::string> PanelCallLog::lines() const {
    std::vector<std::string> result;
    result.reserve(calls_.size());
    for (const PanelCall &call : calls_) result.push_back(call.line());
    return result;
}

} // namespace kivo::host
