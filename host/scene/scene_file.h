// Loading and saving scene files. Saving never leaves a damaged file: the
// new scene is written beside the old one, flushed, and renamed over it.
#ifndef KIVO_HOST_SCENE_SCENE_FILE_H
#define KIVO_HOST_SCENE_SCENE_FILE_H

#include <string>

#include "host/scene/scene.h"

namespace kivo::scene {

// Throws SceneError naming the file and the place of the fault.
Scene loadSceneFile(const std::string &path);

// Throws SceneError naming the file when it cannot be written; the file
// that was there before is then unchanged.
void saveSceneFile(const Scene &scene, const std::string &path);

} // namespace kivo::scene

#endif
