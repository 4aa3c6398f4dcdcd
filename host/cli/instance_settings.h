// The settings of a module instance as the host shows and changes them: by
// the names of the module's settings table, with what each value means.
#ifndef KIVO_HOST_CLI_INSTANCE_SETTINGS_H
#define KIVO_HOST_CLI_INSTANCE_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace kivo::cli {

struct SettingView {
    std::string name;
    int32_t value;
    std::string meaning; // "B&W Film", "on", the control object's name, ...; may be empty
};

// All eighteen, in the instance's memory order.
std::vector<SettingView> instanceSettings(const void *instance, const scene::Scene &scene);

// The setting of that name; throws std::invalid_argument for an unknown name.
int32_t &instanceSetting(void *instance, const std::string &name);
int32_t instanceSetting(const void *instance, const std::string &name);

} // namespace kivo::cli

#endif
