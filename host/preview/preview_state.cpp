#include "host/preview/preview_state.h"

#include <algorithm>

#include "host/core/settings_codec.h"
#include "host/preview/fade_curve.h"
#include "host/scene/settings_record_text.h"
#include "instance/setting_facts.h"

namespace kivo::preview {
namespace {

const char *kindName(SettingKind kind) {
    switch (kind) {
    case SettingKind::Switch: return "switch";
    case SettingKind::Choice: return "choice";
    case SettingKind::Integer: return "integer";
    case SettingKind::SceneItem: return "item";
    }
    return "";
}

nlohmann::json texts(const char *const *list) {
    nlohmann::json out = nlohmann::json::array();
    for (int i = 0; list != nullptr && list[i] != nullptr; ++i) out.push_back(list[i]);
    return out;
}

nlohmann::json filterJson(const scene::Scene &scene, const scene::Filter &filter, const std::string &description) {
    const host::SavedSettings values = host::savedSettings(host::recordBytes(filter.record));
    nlohmann::json out = {{"server", filter.server}, {"description", description}};
    if (const auto text = scene::recordAsText(filter.record))
        out["record"] = *text;
    else
        out["recordHex"] = scene::recordAsHex(filter.record);
    if (filter.server != kMixerServerName) return out;
    nlohmann::json settings = nlohmann::json::object();
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        const std::optional<int32_t> value = values[facts.storedPosition - 1];
        settings[facts.name] = value ? nlohmann::json(*value) : nlohmann::json(nullptr);
    }
    out["settings"] = settings;
    nlohmann::json fade = nlohmann::json::array();
    for (const FadePoint &point : fadeCurve(scene, fadeSettingsOf(values), scene.firstFrame, scene.lastFrame))
        fade.push_back({point.frame, point.amount});
    out["fade"] = fade;
    return out;
}

std::array<double, 3> vectorOf(const nlohmann::json &value, const char *what) {
    if (!value.is_array() || value.size() != 3 ||
        !std::all_of(value.begin(), value.end(), [](const auto &v) { return v.is_number(); }))
        throw BadRequest(std::string("a key's ") + what + " is [x, y, z], three numbers");
    return {value[0].get<double>(), value[1].get<double>(), value[2].get<double>()};
}

} // namespace

nlohmann::json settingFactsJson() {
    nlohmann::json settings = nlohmann::json::array(), groups = nlohmann::json::array();
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        const SettingGroup *group = groupOf(facts);
        settings.push_back({{"name", facts.name},
                            {"kind", kindName(facts.kind)},
                            {"storedPosition", facts.storedPosition},
                            {"default", facts.defaultValue},
                            {"valueNames", texts(facts.valueNames)},
                            {"items", texts(facts.items)},
                            {"minimum", facts.minimum},
                            {"maximum", facts.maximum},
                            {"label", facts.panelLabel != nullptr ? facts.panelLabel : ""},
                            {"description", facts.description},
                            {"group", group != nullptr ? nlohmann::json(group->name) : nlohmann::json(nullptr)}});
    }
    for (int i = 0; i < settingGroupCount(); ++i) {
        const SettingGroup &group = settingGroup(i);
        const SettingFacts *members[kSettingCount] = {};
        groupMembers(group, members);
        nlohmann::json names = nlohmann::json::array();
        for (int m = 0; m < groupSize(group.kind); ++m) names.push_back(members[m]->name);
        groups.push_back({{"name", group.name},
                          {"kind", group.kind == GroupKind::Colour ? "colour" : ""},
                          {"label", group.panelLabel},
                          {"description", group.description},
                          {"members", names}});
    }
    return {{"settings", settings}, {"groups", groups}};
}

nlohmann::json sceneJson(const PreviewSession::Snapshot &snapshot) {
    const scene::Scene &scene = snapshot.scene;
    nlohmann::json items = nlohmann::json::array();
    for (const scene::Item &item : scene.items) {
        nlohmann::json keys = nlohmann::json::array();
        for (const scene::Key &key : item.keys)
            keys.push_back({{"frame", key.frame}, {"position", key.position}, {"scale", key.scale}});
        items.push_back({{"id", item.id}, {"name", item.name}, {"keys", keys}});
    }
    nlohmann::json filters = nlohmann::json::array();
    for (size_t i = 0; i < scene.filters.size(); ++i)
        filters.push_back(filterJson(scene, scene.filters[i], snapshot.descriptions[i]));
    return {{"fps", scene.fps},
            {"firstFrame", scene.firstFrame},
            {"lastFrame", scene.lastFrame},
            {"segment", scene.segment},
            {"items", items},
            {"filters", filters}};
}

nlohmann::json inputJson(const PreviewInput &input, const scene::Scene &scene) {
    int32_t first = std::max(input.first(), scene.firstFrame), last = std::min(input.last(), scene.lastFrame);
    if (first > last) {
        first = input.first();
        last = input.last();
    }
    return {{"path", input.path()},
            {"first", input.first()},
            {"last", input.last()},
            {"view", {{"first", first}, {"last", last}}}};
}

scene::Key keyOf(const nlohmann::json &key) {
    if (!key.is_object() || !key.contains("frame") || !key["frame"].is_number())
        throw BadRequest("a key is {\"frame\": number, \"position\": [x, y, z], \"scale\": [x, y, z]}");
    scene::Key out;
    out.frame = key["frame"].get<double>();
    if (key.contains("position")) out.position = vectorOf(key["position"], "position");
    if (key.contains("scale")) out.scale = vectorOf(key["scale"], "scale");
    return out;
}

} // namespace kivo::preview
