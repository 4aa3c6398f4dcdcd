#include "host/cli/filter_chain.h"

#include <optional>
#include <sstream>

#include "host/cli/instance_settings.h"
#include "host/core/module_copy.h"
#include "host/core/settings_codec.h"
#include "host/scene/scene_items.h"
#include "host/scene/settings_record_text.h"

namespace kivo::cli {
namespace {

std::string shownRecord(const scene::SettingsRecordBytes &record) {
    if (const auto text = scene::recordAsText(record)) return "\"" + *text + "\"";
    return "of 128 bytes that are not text";
}

} // namespace

FilterChain::FilterChain(const scene::Scene &scene, const std::string &modulePath, std::ostream *messageEcho,
                         bool fresh)
    : fps_(scene.fps), scene_(scene) {
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
        if (messageEcho && filter.server == kMixerServerName && !host::isModuleRecord(host::recordBytes(filter.record))) {
            // The module reads what numbers it can and keeps its defaults
            // for the rest; say so, with the settings it ended up with.
            std::ostringstream warning;
            warning << "vidmixer: warning: filter " << stages_.size() + 1 << " (" << filter.server
                    << "): its settings record " << shownRecord(filter.record) << " is not " << kSettingCount
                    << " numbers as the module writes them; the module uses";
            for (const SettingView &setting : instanceSettings(*session, instance.get(), scene))
                if (setting.value) warning << " " << setting.name << "=" << *setting.value;
            *messageEcho << warning.str() << " (the scene file is not changed)\n";
        }
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
    if (!frame.deep.empty()) before_ = frame.image.pixels;
    for (size_t i = 0; i < stages_.size(); ++i) {
        Stage &stage = stages_[i];
        if (progress) progress->beginStage(frame.number, i, stages_.size());
        stage.session->items().clearCalls();
        host::FrameOptions options;
        options.frame = scene_.moduleFrameNumber(frame.number);
        options.time = frame.number / fps_;
        options.progress = progress;
        // In place: the frame's buffer is warm from the copy into planes.
        const auto run = scene_.millisecondNumbers ? host::runStandAloneFrame : host::runFrame;
        run(stage.session->handler().process, stage.instance.get(), frame.image, frame.image, options);
    }
    if (!frame.deep.empty()) keepFullPrecision(frame);
}

void FilterChain::keepFullPrecision(media::Frame &frame) const {
    // A channel the filters handed back at the 8-bit value they were given
    // keeps its full-precision value; any other takes the 8-bit result.
    const uint8_t *given = before_.data();
    const uint8_t *result = frame.image.pixels.data();
    float *deep = frame.deep.data();
    for (size_t i = 0, n = frame.deep.size(); i < n; ++i)
        if (result[i] != given[i]) deep[i] = static_cast<float>(result[i]) / 255.0f;
}

std::vector<host::HostMessage> FilterChain::messages() const {
    std::vector<host::HostMessage> all;
    for (const auto &session : sessions_)
        all.insert(all.end(), session->messages().messages().begin(), session->messages().messages().end());
    return all;
}

} // namespace kivo::cli
