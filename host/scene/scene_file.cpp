#include "host/scene/scene_file.h"

#include <stdexcept>

#include "host/media/atomic_file.h"
#include "host/scene/scene_error.h"
#include "host/scene/scene_json.h"

namespace kivo::scene {

const Item *Scene::findItem(uint32_t id) const {
    for (const Item &item : items)
        if (item.id == id) return &item;
    return nullptr;
}

Scene loadSceneFile(const std::string &path) {
    std::string text;
    try {
        text = media::readWholeFile(path);
    } catch (const media::FileError &error) {
        throw SceneError(path, "", error.reason());
    }
    return parseSceneText(text, path);
}

void saveSceneFile(const Scene &scene, const std::string &path) {
    std::string text;
    try {
        text = formatSceneText(scene);
    } catch (const std::invalid_argument &error) {
        throw SceneError(path, "", error.what());
    }
    try {
        media::writeFileAtomically(path, text);
    } catch (const media::FileError &error) {
        throw SceneError(path, "", error.reason());
    }
}

} // namespace kivo::scene
