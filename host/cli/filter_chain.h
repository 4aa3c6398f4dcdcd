// A scene's filter instances on the loaded module, run one after another on
// each frame: the frame number as the scene numbers it (the frame itself, or
// its time in milliseconds, each frame then standing alone), time = frame /
// fps, the scene's items behind the module's item service.
#ifndef KIVO_HOST_CLI_FILTER_CHAIN_H
#define KIVO_HOST_CLI_FILTER_CHAIN_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/core/frame_runner.h"
#include "host/core/host_session.h"
#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::cli {

// Progress within a frame: which instance runs, then the module's own
// monitor calls for it.
class ChainProgress : public host::ProgressListener {
public:
    virtual void beginStage(int32_t frame, size_t stage, size_t stages) = 0;
};

class FilterChain {
public:
    // Opens the module once per server the scene's filters use, activates
    // each handler and loads every filter's settings record into a new
    // instance. Throws HostError naming the module and the reason.
    // Module messages are printed to messageEcho when given. fresh: load a
    // private copy of the module file, so that the chain's module starts
    // afresh even where the file is loaded already. The scene outlives the
    // chain.
    FilterChain(const scene::Scene &scene, const std::string &modulePath, std::ostream *messageEcho = nullptr,
                bool fresh = false);
    ~FilterChain();
    FilterChain(const FilterChain &) = delete;
    FilterChain &operator=(const FilterChain &) = delete;

    size_t size() const { return stages_.size(); }
    void *instance(size_t stage) const { return stages_[stage].instance.get(); }
    host::HostSession &session(size_t stage) const { return *stages_[stage].session; }
    std::string describe(size_t stage) const;

    // Runs every instance in order on the frame, in place. A frame with
    // full-precision samples keeps them wherever the result equals the
    // 8-bit input; elsewhere they take the 8-bit result.
    void process(media::Frame &frame, ChainProgress *progress = nullptr);

    // Module messages shown while the chain was built or ran.
    std::vector<host::HostMessage> messages() const;

private:
    struct Stage {
        host::HostSession *session;
        host::HostSession::Instance instance;
    };

    double fps_;
    const scene::Scene scene_; // its own copy: a chain may outlive the scene it was made from
    std::vector<std::unique_ptr<host::HostSession>> sessions_; // in opening order
    std::vector<Stage> stages_;
    void keepFullPrecision(media::Frame &frame) const;

    std::vector<uint8_t> before_; // the 8-bit input of a full-precision frame
};

} // namespace kivo::cli

#endif
