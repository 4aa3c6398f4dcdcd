#include "host/cli/scene_commands.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "host/cli/cli_options.h"
#include "host/cli/filter_chain.h"
#include "host/cli/instance_settings.h"
#include "host/core/host_session.h"
#include "host/scene/scene_file.h"

namespace kivo::cli {
namespace {

constexpr uint32_t kFadeControlId = 1;

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string vector3(const scene::Vector3 &v) {
    return "(" + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + ")";
}

} // namespace

scene::Scene newScene(double fps, media::FrameRange frames, const std::string &modulePath,
                      const std::vector<std::string> &settings) {
    if (!std::isfinite(fps) || fps <= 0) throw std::invalid_argument("--fps must be a number above 0");
    scene::Scene scene;
    scene.fps = fps;
    scene.firstFrame = frames.first;
    scene.lastFrame = frames.last;

    scene::Item fade{kFadeControlId, "Fade Control", {}};
    if (frames.last > frames.first) fade.keys.push_back({double(frames.first), {0, 0, 0}, {0, 0, 0}});
    fade.keys.push_back({double(frames.last), {0, 0, 0}, {1, 1, 1}});
    scene.items.push_back(fade);

    std::vector<SettingChange> changes = parseSettingPair("controlItem=" + std::to_string(kFadeControlId), &scene);
    for (const std::string &pair : settings)
        for (const SettingChange &change : parseSettingPair(pair, &scene)) changes.push_back(change);

    host::HostSession session(modulePath, scene::kMixerServerName);
    host::HostSession::Instance instance = session.createInstance();
    applySettings(session, instance.get(), changes);
    const std::vector<uint8_t> saved = session.save(instance.get());
    scene::Filter filter{scene::kMixerServerName, {}};
    std::copy_n(saved.begin(), std::min<size_t>(saved.size(), scene::kRecordSize), filter.record.begin());
    scene.filters.push_back(filter);
    return scene;
}

int runNew(const NewRequest &request, std::ostream &out) {
    std::error_code error;
    if (!request.force && std::filesystem::exists(request.scenePath, error))
        throw std::invalid_argument(request.scenePath + ": already exists; add --force to replace it");
    const scene::Scene scene =
        newScene(request.fps, request.frames, modulePathOr(request.module), request.settings);
    scene::saveSceneFile(scene, request.scenePath);
    out << "vidmixer: wrote " << request.scenePath << ": frames " << scene.firstFrame << " to " << scene.lastFrame
        << " at " << number(scene.fps) << " fps, one Kivo_VidMixer filter at its defaults"
        << (request.settings.empty() ? "" : " but the settings given") << ", faded in by \""
        << scene.items[0].name << "\" (scale 0 to 1)\n";
    return 0;
}

int runInfo(const std::string &scenePath, const std::string &module, std::ostream &out) {
    const scene::Scene scene = scene::loadSceneFile(scenePath);
    out << scenePath << ": frames " << scene.firstFrame << " to " << scene.lastFrame << " at " << number(scene.fps)
        << " fps\n";

    out << "\nItems (" << scene.items.size() << "):\n";
    for (const scene::Item &item : scene.items) {
        out << "  " << item.id << " \"" << item.name << "\"";
        if (item.keys.empty()) out << ": no keys (position (0, 0, 0), scale (1, 1, 1))";
        out << "\n";
        for (const scene::Key &key : item.keys)
            out << "    frame " << number(key.frame) << ": position " << vector3(key.position) << ", scale "
                << vector3(key.scale) << "\n";
    }

    out << "\nFilters (" << scene.filters.size() << ", in the order they run):\n";
    if (scene.filters.empty()) return 0;
    FilterChain chain(scene, modulePathOr(module), &out);
    for (size_t i = 0; i < chain.size(); ++i) {
        out << "  " << (i + 1) << ". " << scene.filters[i].server << ": " << chain.describe(i) << "\n";
        for (const SettingView &setting : instanceSettings(chain.session(i), chain.instance(i), scene)) {
            out << "       " << std::left << std::setw(18) << setting.name << std::right << std::setw(11);
            if (!setting.value) {
                out << "?" << "  not in the record's text\n";
                continue;
            }
            out << *setting.value << "  " << std::left << std::setw(20) << setting.meaning << std::right << "  "
                << setting.assignment << "\n";
        }
    }
    return 0;
}

int runSet(const SetRequest &request, std::ostream &out) {
    scene::Scene scene = scene::loadSceneFile(request.scenePath);
    const size_t count = scene.filters.size();
    if (request.filter < 1 || static_cast<size_t>(request.filter) > count)
        throw UsageError("--filter " + std::to_string(request.filter) + ": no such filter; the scene has " +
                         (count == 0 ? "none" : count == 1 ? "filter 1" : "filters 1 to " + std::to_string(count)));
    if (request.settings.empty()) throw UsageError("no NAME=VALUE pair given; `vidmixer info` shows them all");
    std::vector<SettingChange> changes;
    for (const std::string &pair : request.settings)
        for (const SettingChange &change : parseSettingPair(pair, &scene)) changes.push_back(change);

    scene::Filter &filter = scene.filters[static_cast<size_t>(request.filter - 1)];
    host::HostSession session(modulePathOr(request.module), filter.server);
    host::HostSession::Instance instance = session.createInstance();
    session.load(instance.get(), std::vector<uint8_t>(filter.record.begin(), filter.record.end()));
    applySettings(session, instance.get(), changes);
    const std::vector<uint8_t> saved = session.save(instance.get());
    filter.record.fill(0);
    std::copy_n(saved.begin(), std::min<size_t>(saved.size(), scene::kRecordSize), filter.record.begin());
    scene::saveSceneFile(scene, request.scenePath);
    out << "vidmixer: " << request.scenePath << ": filter " << request.filter << ": " << session.describe(instance.get())
        << "\n";
    return 0;
}

} // namespace kivo::cli
