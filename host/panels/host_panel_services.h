// The stand-in host's panels plug-in: the "LWPanelServices" table, its panels
// and controls, and the driver that plays the user.
#ifndef KIVO_HOST_PANELS_HOST_PANEL_SERVICES_H
#define KIVO_HOST_PANELS_HOST_PANEL_SERVICES_H

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/core/global_services.h"
#include "host/core/item_info.h"
#include "host/panels/panel_call_log.h"
#include "host/panels/panel_driver.h"
#include "host/panels/panel_model.h"
#include "contract/panel_services.h"

namespace kivo::host {

// The scene's objects as the scene item list offers them.
std::vector<SceneObject> sceneObjectsOf(const ItemTable &items);

// createPanel carries no context, so one PanelServices at a time receives the
// calls: the newest one, until it is destroyed (the previous one then comes
// back). While it lives its table is registered as "LWPanelServices".
class PanelServices {
public:
    explicit PanelServices(std::vector<SceneObject> sceneObjects = {});
    virtual ~PanelServices();
    PanelServices(const PanelServices &) = delete;
    PanelServices &operator=(const PanelServices &) = delete;

    // The table handed to modules.
    PanelFunctions *functions() { return &functions_; }

    // The driver that runs opened panels; without one every panel is cancelled.
    void setDriver(PanelDriver *driver) { driver_ = driver; }
    // Objects listed by scene item lists created from now on.
    void setSceneObjects(std::vector<SceneObject> objects) { sceneObjects_ = std::move(objects); }

    PanelCallLog &log() { return log_; }
    const PanelCallLog &log() const { return log_; }

    // Panels created and not yet destroyed.
    const std::vector<std::unique_ptr<Panel>> &panels() const { return panels_; }

    // The services receiving the module's calls, or null.
    static PanelServices *current();

    // The operations behind the table; each logs itself.
    Panel *createPanel(const char *title, void *zero);
    void destroyPanel(void *handle);
    int32_t openPanel(void *handle, int32_t flags);
    void drawPanel(void *handle, int32_t mode);
    void setPanelAttribute(void *handle, int32_t tag, const int32_t *value);
    PanelControl *addPanelControl(void *handle, const char *typeName, const ControlDescriptor *descriptor,
                                  const char *label);
    PanelControl *nextPanelControl(void *handle, PanelControl *control);
    void getControlAttribute(Control &control, int32_t tag, PanelValue *value);
    void setControlAttribute(Control &control, int32_t tag, PanelValue *value);

    void problem(std::string text);

protected:
    // A host short of resources: createPanel with a refused title returns
    // null; addPanelControl of a refused type name returns null and adds
    // nothing. Both calls are logged with their null result.
    virtual bool refusesPanel(const std::string & /*title*/) const { return false; }
    virtual bool refusesControl(const std::string & /*typeName*/) const { return false; }

private:
    Panel *findPanel(void *handle) const;
    void destroyNow(Panel *panel);

    PanelFunctions functions_{};
    PanelControl controlEntries_{};
    std::vector<SceneObject> sceneObjects_;
    PanelDriver *driver_ = nullptr;
    PanelCallLog log_;
    std::vector<std::unique_ptr<Panel>> panels_;
    std::set<Panel *> destroyWhenClosed_;
    PanelServices *previous_;
    ScopedGlobal global_;
};

} // namespace kivo::host

#endif
