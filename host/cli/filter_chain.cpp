#include "host/cli/filter_chain.h"

#include <optional>

#include "host/core/module_copy.h"
#include "host/scene/scene_items.h"

namespace kivo::cli {

FilterChain::FilterChain(const scene::Scene &scene, const std::string &modulePath, std::ostream *messageEcho,
                         bool fresh)
    : fps_(scene.fps) {
    // Every session of the chain opens the same copy; it is removed once
    // they are open.
    std::optional<host::ModuleCopy> copy;
    if (fresh) copy.emplace(modulePath);
    const std::string &loadPath = copy ? copy->path() : modulePath;
    for (const scene::Filter &filter : scene.filters) {
        host::HostSession *session = nullptr;
        for (const auto &open : sessions_)
            if (open->serverName() == filter.server) session = open.get();
        if (session == nullptr) {
            sessions_.push_back(std::make_unique<host::HostSession>(loadPath, filter.server, messageEcho));
            session = sessions_.back().get();
            scene::fillItemTable(scene, session->items());
        }
        host::HostSession::Instance instance = session->createInstance();
        session->load(instance.get(), std::vector<uint8_t>(filter.record.begin(), filter.record.end()));
        stages_.push_back({session, std::move(instance)});
    }
}

FilterChain::~FilterChain() {
    stages_.clear(); // instances go back to their module before it closes
    while (!sessions_.empty())
        sessions_.pop_back(); // services are restored newest first
}

std::string FilterChain::describe(size_t stage) const {
    return stages_[stage].session->describe(stages_[stage].instance.get());
}

void FilterChain::process(media::Frame &frame, ChainProgress *progress) {
    for (size_t i = 0; i < stages_.size(); ++i) {
        Stage &stage = stages_[i];
        if (progress) progress->beginStage(frame.number, i, stages_.size());
        stage.session->items().clearCalls();
        host::FrameOptions options;
        options.frame = frame.number;
        options.time = frame.number / fps_;
        options.progress = progress;
        host::runFrame(stage.session->handler().process, stage.instance.get(), frame.image, scratch_, options);
        std::swap(frame.image, scratch_);
    }
}

std::vector<host::HostMessage> FilterChain::messages() const {
    std::vector<host::HostMessage> all;
    for (const auto &session : sessions_)
        all.insert(all.end(), session->messages().messages().begin(), session->messages().messages().end());
    return all;
}

} // namespace kivo::cli
