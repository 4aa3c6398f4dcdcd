// The scene, the settings' facts and the input as the page reads them (JSON).
#ifndef KIVO_HOST_PREVIEW_PREVIEW_STATE_H
#define KIVO_HOST_PREVIEW_PREVIEW_STATE_H

#include <nlohmann/json.hpp>

#include "host/preview/preview_session.h"

namespace kivo::preview {

// Every setting of the table (name, kind, value words and item texts, range,
// default, panel label, description, group) and every group of settings
// (name, kind, panel label, description, members).
nlohmann::json settingFactsJson();

// The scene being edited: timeline, items and keys, and each filter with its
// record, description line, settings by name and fade curve over the range.
nlohmann::json sceneJson(const PreviewSession::Snapshot &snapshot);

// The input's frames, and the frames the viewer steps through: the scene's
// range where the input has it, else the whole input.
nlohmann::json inputJson(const PreviewInput &input, const scene::Scene &scene);

// A key from the page: {"frame", "position": [x, y, z], "scale": [x, y, z]}.
// Throws BadRequest.
scene::Key keyOf(const nlohmann::json &key);

} // namespace kivo::preview

#endif
