// Every panel-service call a module makes, and what the user and the host
// did in between, for tests that check order and values.
#ifndef KIVO_HOST_PANELS_PANEL_CALL_LOG_H
#define KIVO_HOST_PANELS_PANEL_CALL_LOG_H

#include <cstdint>
#include <string>
#include <vector>

#include "contract/panel_services.h"

namespace kivo::host {

struct PanelCall {
    enum class Op {
        CreatePanel,
        DestroyPanel,
        OpenPanel,
        DrawPanel,
        SetPanelAttribute,
        AddPanelControl,
        NextPanelControl,
        GetAttribute,
        SetAttribute,
        UserSet, // a driver changed a control's value
        Event,   // the host called a control's event callback
        Problem, // a call the host could not honour (unknown panel, ...)
    };
    explicit PanelCall(Op op, std::string panel = {}, std::string control = {})
        : op(op), panel(std::move(panel)), control(std::move(control)) {}

    Op op;
    std::string panel;   // title of the panel involved
    std::string control; // label of the control involved (argument of next)
    std::string text;    // createPanel title, addPanelControl type name, problem
    int32_t code = 0;    // flags, mode, panel or control tag
    int32_t valueType = 0;         // type word of the PanelValue as passed
    std::vector<int32_t> values;   // integer values passed or returned
    const void *pointer = nullptr; // pointer passed or returned (tags 14, 16)
    ControlDescriptor descriptor{}; // addPanelControl: the descriptor as passed
    std::vector<std::string> items; // addPanelControl: the choice list read
    std::string result;             // label or result of the call, "" if none

    // One line, pointers shown as "null" or "ptr"; e.g.
    //   set "Main" "Divide Value by :" 4 <2> 1
    //   addPanelControl "Main" ChoiceControl {9, [" No ", " Yes "], 0} "Allow Negatives :"
    std::string line() const;
};

class PanelCallLog {
public:
    void add(PanelCall call) { calls_.push_back(std::move(call)); }
    const std::vector<PanelCall> &calls() const { return calls_; }
    PanelCall &at(size_t index) { return calls_.at(index); }
    size_t size() const { return calls_.size(); }
    std::vector<std::string> lines() const;
    void clear() { calls_.clear(); }

private:
    std::vector<PanelCall> calls_;
};

} // namespace kivo::host

#endif
