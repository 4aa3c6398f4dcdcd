// vidmixer new and vidmixer info.
#ifndef KIVO_HOST_CLI_SCENE_COMMANDS_H
#define KIVO_HOST_CLI_SCENE_COMMANDS_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/cli/instance_settings.h"
#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

inline constexpr double kDefaultFps = 24;

struct NewRequest {
    std::string scenePath;
    std::optional<double> fps;               // default: the input's (--from), else kDefaultFps
    std::optional<media::FrameRange> frames; // default: the input's (--from), else 1 to 24
    std::string from;                        // a video, sequence or image whose range and rate the scene takes
    std::string module;
    bool force = false; // replace an existing file
    std::optional<int32_t> segment; // frames per generator history
    std::vector<std::string> settings; // NAME=VALUE pairs applied to the new filter
};

struct SetRequest {
    std::string scenePath;
    int filter = 1; // counting from 1
    std::vector<std::string> settings; // NAME=VALUE pairs
    std::string module;
};

// How the fade control item of a new scene is keyed.
enum class FadeKeys {
    In,  // scaled from 0 at the first frame to 1 at the last
    Full // at 1 throughout
};

// The scene of `new`: one item, "Fade Control" (id 1), keyed as asked, and
// one instance at the module's defaults with that item as its fade control
// object, then the given NAME=VALUE settings (throws UsageError for a bad
// pair).
scene::Scene newScene(double fps, media::FrameRange frames, const std::string &modulePath,
                      const std::vector<std::string> &settings = {}, FadeKeys fade = FadeKeys::In);

// Changes settings of the filter-th filter of the scene (from 0) by
// NAME=VALUE pairs, through the module's own load and save; returns the
// module's description of it. Throws UsageError for a bad pair.
std::string changeFilterSettings(scene::Scene &scene, size_t filter, const std::vector<std::string> &pairs,
                                 const std::string &modulePath);

int runNew(const NewRequest &request, std::ostream &out);

// Prints the timeline, every item with its keys, and every filter with its
// description line and settings by name, each also as `set` takes it.
int runInfo(const std::string &scenePath, const std::string &module, std::ostream &out);

// Changes a filter's settings through the module's own load and save: its
// record becomes the one the module writes with the changes made. Returns
// the filter's description line.
std::string changeFilterSettings(scene::Filter &filter, const std::string &modulePath,
                                 const std::vector<SettingChange> &changes);

// Changes settings of one filter of a scene by name, through the module's own
// load and save, and saves the scene. segment=K (frames, or none) sets the
// scene's segments. Bad input throws UsageError before anything is written.
int runSet(const SetRequest &request, std::ostream &out);

} // namespace kivo::cli

#endif
