// vidmixer new and vidmixer info.
#ifndef KIVO_HOST_CLI_SCENE_COMMANDS_H
#define KIVO_HOST_CLI_SCENE_COMMANDS_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

struct NewRequest {
    std::string scenePath;
    double fps = 24;
    media::FrameRange frames{1, 24};
    std::string module;
    bool force = false; // replace an existing file
    std::vector<std::string> settings; // NAME=VALUE pairs applied to the new filter
};

struct SetRequest {
    std::string scenePath;
    int filter = 1; // counting from 1
    std::vector<std::string> settings; // NAME=VALUE pairs
    std::string module;
};

// The scene of `new`: one item, "Fade Control" (id 1), scaled from 0 at the
// first frame to 1 at the last, and one instance at the module's defaults
// with that item as its fade control object, then the given NAME=VALUE
// settings (throws UsageError for a bad pair).
scene::Scene newScene(double fps, media::FrameRange frames, const std::string &modulePath,
                      const std::vector<std::string> &settings = {});

int runNew(const NewRequest &request, std::ostream &out);

// Prints the timeline, every item with its keys, and every filter with its
// description line and settings by name, each also as `set` takes it.
int runInfo(const std::string &scenePath, const std::string &module, std::ostream &out);

// Changes settings of one filter of a scene by name, through the module's own
// load and save, and saves the scene. Bad input throws UsageError before
// anything is written.
int runSet(const SetRequest &request, std::ostream &out);

} // namespace kivo::cli

#endif
