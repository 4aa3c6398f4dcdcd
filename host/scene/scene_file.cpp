#include "host/scene/scene_file.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "host/core/frame_time.h"
#include "host/media/atomic_file.h"
#include "host/scene/scene_error.h"
#include "host/scene/scene_json.h"

namespace kivo::scene {

const Item *Scene::findItem(uint32_t id) const {
    for (const Item &item : items)
        if (item.id == id) return &item;
    return nullptr;
}

int32_t Scene::moduleFrameNumber(int32_t frame) const {
    if (!millisecondNumbers) return frame;
    // Frames before 0 or past 24.8 days have no number of their own.
    return host::frameNumberOfFrame(frame, fps).value_or(frame < 0 ? 0 : std::numeric_limits<int32_t>::max());
}

int64_t Scene::historyOf(int32_t frame) const {
    const int64_t offset = int64_t{frame} - firstFrame;
    if (millisecondNumbers) return offset;
    if (segment <= 0) return offset < 0 ? -1 : 0;
    return offset >= 0 ? offset / segment : -((-offset + segment - 1) / segment);
}

int32_t Scene::historyStart(int64_t history) const {
    if (millisecondNumbers) return static_cast<int32_t>(firstFrame + history);
    if (segment <= 0) return history < 0 ? std::numeric_limits<int32_t>::min() : firstFrame;
    const int64_t start = firstFrame + history * segment;
    return static_cast<int32_t>(std::clamp<int64_t>(start, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
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
