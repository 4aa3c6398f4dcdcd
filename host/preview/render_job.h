// `vidmixer render` of the scene being edited, in the background: a process
// of its own runs the very command a user would (the scene handed over on a
// pipe, the demo picture as raw frames on its standard input), reports each
// frame it writes, and stops on request as a render stops on Ctrl+C.
#ifndef KIVO_HOST_PREVIEW_RENDER_JOB_H
#define KIVO_HOST_PREVIEW_RENDER_JOB_H

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/preview/event_hub.h"
#include "host/preview/preview_input.h"

namespace kivo::preview {

struct RenderCommand {
    std::string program; // the vidmixer executable
    std::string module;  // its --module; empty: the default
    std::string output;  // empty: no render
};

class RenderJob {
public:
    RenderJob(RenderCommand command, const PreviewInput &input, EventHub &hub);
    ~RenderJob() { stop(); }
    RenderJob(const RenderJob &) = delete;
    RenderJob &operator=(const RenderJob &) = delete;

    // The command line, for showing (without the scene, which goes on a pipe).
    std::vector<std::string> arguments(const std::string &scenePath) const;

    // Starts rendering the scene's text; with overwrite, over existing
    // output files (--overwrite). Throws BadRequest without an output or
    // while a render runs.
    nlohmann::json start(const std::string &sceneText, bool overwrite);
    nlohmann::json cancel();
    nlohmann::json state() const;
    // Cancels a running render and waits for its end.
    void stop();

private:
    void watch(int report, int errors);
    void feed(int sceneFd, int framesFd, std::string sceneText) const;
    void readLine(const std::string &line, bool report);
    nlohmann::json stateLocked() const;
    void join();

    const RenderCommand command_;
    const PreviewInput &input_;
    EventHub &hub_;
    mutable std::mutex mutex_;
    std::thread watcher_, feeder_;
    pid_t pid_ = -1;
    std::string status_ = "idle"; // idle, running, finished, failed, cancelled
    int64_t written_ = 0, replayed_ = 0;
    std::vector<std::string> errors_;
    bool cancelled_ = false;
};

} // namespace kivo::preview

#endif
