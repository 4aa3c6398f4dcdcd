// The scene file format, JSON:
//
//   {
//     "format": "kivo-vidmixer-scene", "version": 1,
//     "fps": 24.0, "first_frame": 1, "last_frame": 24,
//     "items": [ { "id": 1, "name": "Fade Control", "keys": [
//         {"frame": 1.0, "position": [0.0, 0.0, 0.0], "scale": [0.0, 0.0, 0.0]},
//         {"frame": 24.0, "position": [0.0, 0.0, 0.0], "scale": [1.0, 1.0, 1.0]} ] } ],
//     "filters": [ { "server": "Kivo_VidMixer",
//                    "record": "1 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1" } ]
//   }
//
// Every key shown is required and no other is allowed. An item id is an
// integer 1..4294967295, unique in the scene; its keys are in increasing
// frame order (an item without keys is at position 0 with scale 1). A filter's settings record is either "record", its
// text when the 128 bytes are ASCII text followed by zero bytes, or
// "record_hex", all 128 bytes as 256 hexadecimal digits.
#ifndef KIVO_HOST_SCENE_SCENE_JSON_H
#define KIVO_HOST_SCENE_SCENE_JSON_H

#include <string>
#include <string_view>

#include "host/scene/scene.h"

namespace kivo::scene {

inline constexpr const char *kSceneFormatName = "kivo-vidmixer-scene";
inline constexpr int kSceneFormatVersion = 1;

// Throws SceneError naming file and the place of the first fault.
Scene parseSceneText(std::string_view text, const std::string &file);

// Throws std::invalid_argument when the scene could not be read back
// (a value that JSON cannot hold, such as a non-finite number).
std::string formatSceneText(const Scene &scene);

} // namespace kivo::scene

#endif
