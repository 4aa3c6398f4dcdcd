// Fuzz target for the scene file reader: any bytes either give a scene or a
// SceneError naming the file; no other exception, crash or hang. A scene that
// is read is written again and must read back equal.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/scene/scene_error.h"
#include "host/scene/scene_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string file = "fuzz.json";
    kivo::scene::Scene scene;
    try {
        scene = kivo::scene::parseSceneText(text, file);
    } catch (const kivo::scene::SceneError &error) {
        if (error.file() != file) std::abort();
        return 0;
    }
    try {
        const std::string again = kivo::scene::formatSceneText(scene);
        if (!(kivo::scene::parseSceneText(again, file) == scene)) std::abort();
    } catch (const std::invalid_argument &) {
        // a scene JSON cannot hold (a name with invalid UTF-8): refused, not written
    }
    return 0;
}
