#include "host/preview/preview_session.h"

#include <algorithm>
#include <cmath>

#include "host/cli/instance_settings.h"
#include "host/cli/scene_commands.h"
#include "host/core/host_session.h"
#include "host/core/settings_codec.h"
#include "host/scene/scene_file.h"

namespace kivo::preview {
namespace {

constexpr size_t kMostKeys = 100000;

std::string filterName(size_t index) { return "filter " + std::to_string(index + 1); }

std::string settingsChanged(const scene::Filter &saved, const scene::Filter &now, size_t index) {
    const auto values = [](const scene::Filter &filter) {
        return host::savedSettings(host::recordBytes(filter.record));
    };
    const auto before = values(saved), after = values(now);
    std::string names;
    for (int i = 0; i < kSettingCount && now.server == kMixerServerName; ++i) {
        const SettingFacts &facts = settingFacts(i);
        if (before[facts.storedPosition - 1] != after[facts.storedPosition - 1])
            names += (names.empty() ? "" : ", ") + std::string(facts.name);
    }
    return filterName(index) + ": " + (names.empty() ? "settings record" : names);
}

void checkKeys(const std::vector<scene::Key> &keys) {
    if (keys.size() > kMostKeys) throw BadRequest("an item has at most " + std::to_string(kMostKeys) + " keys");
    const double most = 2147483647.0;
    for (size_t i = 0; i < keys.size(); ++i) {
        const scene::Key &key = keys[i];
        if (!std::isfinite(key.frame) || std::fabs(key.frame) > most)
            throw BadRequest("a key's frame must be a number from -2147483648 to 2147483647");
        for (int axis = 0; axis < 3; ++axis)
            if (!std::isfinite(key.position[axis]) || !std::isfinite(key.scale[axis]))
                throw BadRequest("the key at frame " + std::to_string(key.frame) + " has a value that is not a number");
        if (i > 0 && keys[i - 1].frame == key.frame)
            throw BadRequest("two keys at frame " + std::to_string(key.frame) + "; each frame takes one key");
    }
}

} // namespace

std::vector<std::string> sceneChanges(const scene::Scene &saved, const scene::Scene &now) {
    std::vector<std::string> changes;
    if (saved.fps != now.fps || saved.firstFrame != now.firstFrame || saved.lastFrame != now.lastFrame ||
        saved.segment != now.segment)
        changes.push_back("timeline");
    if (saved.filters.size() != now.filters.size()) {
        changes.push_back("filters");
    } else {
        for (size_t i = 0; i < now.filters.size(); ++i)
            if (saved.filters[i] != now.filters[i])
                changes.push_back(settingsChanged(saved.filters[i], now.filters[i], i));
    }
    for (const scene::Item &item : now.items) {
        const scene::Item *before = saved.findItem(item.id);
        if (before == nullptr || *before != item) changes.push_back("keys of \"" + item.name + "\"");
    }
    return changes;
}

PreviewSession::PreviewSession(std::string scenePath, std::string modulePath, scene::Scene scene,
                               std::unique_ptr<PreviewInput> input)
    : scenePath_(std::move(scenePath)), modulePath_(std::move(modulePath)), input_(std::move(input)),
      scene_(std::move(scene)), saved_(scene_), engine_(*input_, modulePath_) {
    for (const scene::Filter &filter : scene_.filters) descriptions_.push_back(describe(filter));
}

std::string PreviewSession::describe(const scene::Filter &filter) const {
    host::HostSession session(modulePath_, filter.server);
    host::HostSession::Instance instance = session.createInstance();
    session.load(instance.get(), std::vector<uint8_t>(filter.record.begin(), filter.record.end()));
    return session.describe(instance.get());
}

void PreviewSession::changed() { ++version_; }

std::unique_lock<std::mutex> PreviewSession::editGate() {
    ++editsWaiting_;
    std::unique_lock gate(gate_);
    --editsWaiting_;
    return gate;
}

PreviewSession::Snapshot PreviewSession::snapshot() const {
    std::lock_guard lock(mutex_);
    return {scene_, version_, descriptions_, sceneChanges(saved_, scene_)};
}

void PreviewSession::changeSettings(size_t filter, const std::vector<std::string> &pairs) {
    const std::unique_lock gate = editGate();
    scene::Scene scene;
    {
        std::lock_guard lock(mutex_);
        scene = scene_;
    }
    if (filter >= scene.filters.size())
        throw BadRequest("no filter " + std::to_string(filter + 1) + "; the scene has " +
                         std::to_string(scene.filters.size()));
    if (scene.filters[filter].server != kMixerServerName)
        throw BadRequest(filterName(filter) + " runs " + scene.filters[filter].server + ", which has no settings here");
    std::string description;
    try {
        description = cli::changeFilterSettings(scene, filter, pairs, modulePath_);
    } catch (const cli::UsageError &error) {
        throw BadRequest(error.what());
    }
    std::lock_guard lock(mutex_);
    scene_.filters[filter] = scene.filters[filter];
    descriptions_[filter] = description;
    changed();
}

void PreviewSession::setKeys(uint32_t item, std::vector<scene::Key> keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const scene::Key &a, const scene::Key &b) { return a.frame < b.frame; });
    checkKeys(keys);
    std::lock_guard lock(mutex_);
    auto found =
        std::find_if(scene_.items.begin(), scene_.items.end(), [&](const scene::Item &i) { return i.id == item; });
    if (found == scene_.items.end()) throw BadRequest("no item " + std::to_string(item) + " in the scene");
    if (found->keys == keys) return;
    found->keys = std::move(keys);
    changed();
}

void PreviewSession::setRecord(size_t filter, const scene::SettingsRecordBytes &record) {
    std::lock_guard lock(mutex_);
    if (filter >= scene_.filters.size() || scene_.filters[filter].record == record) return;
    scene_.filters[filter].record = record;
    descriptions_[filter] = describe(scene_.filters[filter]);
    changed();
}

void PreviewSession::save() {
    std::lock_guard lock(mutex_);
    scene::saveSceneFile(scene_, scenePath_);
    saved_ = scene_;
}

void PreviewSession::revert() {
    const std::unique_lock gate = editGate();
    std::lock_guard lock(mutex_);
    if (scene_ == saved_) return;
    scene_ = saved_;
    descriptions_.clear();
    for (const scene::Filter &filter : scene_.filters) descriptions_.push_back(describe(filter));
    changed();
}

bool PreviewSession::withFrame(int32_t number, const FrameEngine::Watch &watch, const FrameUse &use) {
    if (number < input_->first() || number > input_->last())
        throw BadRequest("frame " + std::to_string(number) + " is outside the input's frames " +
                         std::to_string(input_->first()) + " to " + std::to_string(input_->last()));
    std::lock_guard gate(gate_);
    scene::Scene scene;
    uint64_t version = 0;
    {
        std::lock_guard lock(mutex_);
        scene = scene_;
        version = version_;
    }
    const FramePair *pair = engine_.frame(scene, version, number, watch);
    if (pair == nullptr) return false;
    use(*pair);
    return true;
}

} // namespace kivo::preview
