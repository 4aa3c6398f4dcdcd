// The scene the viewer edits, beside the one saved in its file, and the
// frames of its input. Settings change through the module's own load and
// save, as `vidmixer set` changes them; every use of the module (frames,
// settings, panels) takes the module gate, one at a time, because the host's
// services to modules are process-wide.
#ifndef KIVO_HOST_PREVIEW_PREVIEW_SESSION_H
#define KIVO_HOST_PREVIEW_PREVIEW_SESSION_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/preview/frame_engine.h"
#include "host/preview/preview_input.h"
#include "host/scene/scene.h"

namespace kivo::preview {

// A request the viewer refuses: bad JSON, an unknown setting, a value out of
// range, a frame outside the input. The scene is left as it was.
class BadRequest : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class PreviewSession {
public:
    // The scene as loaded from scenePath. Throws what loading the module throws.
    PreviewSession(std::string scenePath, std::string modulePath, scene::Scene scene,
                   std::unique_ptr<PreviewInput> input);

    const std::string &scenePath() const { return scenePath_; }
    const std::string &modulePath() const { return modulePath_; }
    const PreviewInput &input() const { return *input_; }

    struct Snapshot {
        scene::Scene scene;
        uint64_t version;                      // changes with every edit of the scene
        std::vector<std::string> descriptions; // each filter's description line
        std::vector<std::string> unsaved;      // what differs from the file, by name
    };
    Snapshot snapshot() const;

    // NAME=VALUE pairs of one filter (0-based), as `vidmixer set` takes them;
    // all are checked before any is made. Throws BadRequest.
    void changeSettings(size_t filter, const std::vector<std::string> &pairs);
    // Replaces an item's keys, sorted by frame. Throws BadRequest.
    void setKeys(uint32_t item, std::vector<scene::Key> keys);
    // A record the module wrote for a filter (the module panel's), with the
    // filter's description line; the caller holds the module gate.
    void setRecord(size_t filter, const scene::SettingsRecordBytes &record);

    // Writes the scene file (checked and atomic); throws scene::SceneError.
    void save();
    // Back to the scene as saved.
    void revert();

    // The frame as `vidmixer render` writes it, with its input; null when
    // stopped (a newer request or a scene edit came). Throws BadRequest
    // for a frame outside the input. `use` runs on the frames with the
    // gate still held.
    using FrameUse = std::function<void(const FramePair &)>;
    bool withFrame(int32_t number, const FrameEngine::Watch &watch, const FrameUse &use);

    // The module gate for an edit: a frame being made (a long replay) gives
    // way to it.
    std::unique_lock<std::mutex> editGate();
    bool editsWaiting() const { return editsWaiting_.load() > 0; }

private:
    std::string describe(const scene::Filter &filter) const; // with the gate held
    void changed();                                          // with mutex_ held

    const std::string scenePath_, modulePath_;
    std::unique_ptr<PreviewInput> input_;
    mutable std::mutex mutex_; // guards the scenes, version and descriptions
    scene::Scene scene_, saved_;
    uint64_t version_ = 1;
    std::vector<std::string> descriptions_;
    std::mutex gate_;
    std::atomic<int> editsWaiting_{0};
    FrameEngine engine_;
};

// What differs between two scenes, by name: each filter's settings, each
// item's keys.
std::vector<std::string> sceneChanges(const scene::Scene &saved, const scene::Scene &now);

} // namespace kivo::preview

#endif
