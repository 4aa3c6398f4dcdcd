#include "host/cli/instance_settings.h"

#include <stdexcept>
#include <string_view>

#include "module/settings_table.h"

namespace kivo::cli {
namespace {

const SettingInfo &settingNamed(const std::string &name) {
    for (const SettingInfo &setting : kSettings)
        if (name == setting.name) return setting;
    throw std::invalid_argument("no setting named \"" + name + "\"");
}

std::string pick(int32_t value, std::initializer_list<const char *> names, const char *otherwise) {
    if (value >= 0 && static_cast<size_t>(value) < names.size()) return names.begin()[value];
    return otherwise;
}

// What the frame pass makes of each value (every unlisted value of an
// enumeration falls back as the module treats it).
std::string meaningOf(std::string_view name, int32_t value, const scene::Scene &scene) {
    if (name == "effect") return pick(value, {"Static", "RGB", "B&W Film"}, "Negative");
    if (name == "fadeChannel") return value == FADE_COORDS ? "Co-ords" : "Scale";
    if (name == "fadeAxis") return pick(value, {"X", "Y", "Z"}, "outside X, Y, Z");
    if (name == "filmQuality") return value == FILM_NICE_N_CLEAN ? "Nice'n'Clean" : "Old'n'Dusty";
    if (name == "allowNegatives" || name == "sprocketJump" || name == "whiteOut" || name == "sepia" ||
        name == "vignette" || name == "outOfFocus")
        return value != 0 ? "on" : "off";
    if (name == "controlItem") {
        if (value == 0) return "none";
        const scene::Item *item = scene.findItem(static_cast<uint32_t>(value));
        return item ? "\"" + item->name + "\"" : "not in the scene";
    }
    return "";
}

} // namespace

std::vector<SettingView> instanceSettings(const void *instance, const scene::Scene &scene) {
    const auto &fields = *static_cast<const MixerInstance *>(instance);
    std::vector<SettingView> views;
    for (const SettingInfo &setting : kSettings) {
        const int32_t value = settingField(fields, setting.memoryIndex);
        views.push_back({setting.name, value, meaningOf(setting.name, value, scene)});
    }
    return views;
}

int32_t &instanceSetting(void *instance, const std::string &name) {
    return settingField(*static_cast<MixerInstance *>(instance), settingNamed(name).memoryIndex);
}

int32_t instanceSetting(const void *instance, const std::string &name) {
    return settingField(*static_cast<const MixerInstance *>(instance), settingNamed(name).memoryIndex);
}

} // namespace kivo::cli
