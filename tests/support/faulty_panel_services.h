// Panel services of a host short of resources: chosen panel titles and
// control types are refused.
#ifndef KIVO_TESTS_SUPPORT_FAULTY_PANEL_SERVICES_H
#define KIVO_TESTS_SUPPORT_FAULTY_PANEL_SERVICES_H

#include <set>
#include <string>

#include "host/panels/host_panel_services.h"

namespace kivo::test {

class FaultyPanelServices : public host::PanelServices {
public:
    using host::PanelServices::PanelServices;

    // createPanel with this title returns null.
    void refusePanelTitle(std::string title) { refusedTitles_.insert(std::move(title)); }
    // addPanelControl of this type name returns null and adds nothing.
    void refuseControlType(std::string typeName) { refusedTypes_.insert(std::move(typeName)); }

protected:
    bool refusesPanel(const std::string &title) const override { return refusedTitles_.count(title) != 0; }
    bool refusesControl(const std::string &typeName) const override { return refusedTypes_.count(typeName) != 0; }

private:
    std::set<std::string> refusedTitles_;
    std::set<std::string> refusedTypes_;
};

} // namespace kivo::test

#endif
