#include "host/cli/scene_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "host/cli/cli_options.h"
#include "host/cli/filter_chain.h"
#include "host/cli/instance_settings.h"
#include "host/cli/render_endpoints.h"
#include "host/core/host_session.h"
#include "host/scene/scene_file.h"
#include "host/scene/settings_record_text.h"

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
                      const std::vector<std::string> &settings, FadeKeys fadeKeys) {
    if (!std::isfinite(fps) || fps <= 0) throw std::invalid_argument("--fps must be a number above 0");
    scene::Scene scene;
    scene.fps = fps;
    scene.firstFrame = frames.first;
    scene.lastFrame = frames.last;

    scene::Item fade{kFadeControlId, "Fade Control", {}};
    if (fadeKeys == FadeKeys::Full)
        fade.keys.push_back({double(frames.first), {0, 0, 0}, {1, 1, 1}});
    else if (frames.last > frames.first)
        fade.keys.push_back({double(frames.first), {0, 0, 0}, {0, 0, 0}});
    if (fadeKeys == FadeKeys::In) fade.keys.push_back({double(frames.last), {0, 0, 0}, {1, 1, 1}});
    scene.items.push_back(fade);

    std::vector<SettingChange> changes = parseSettingPair("controlItem=" + std::to_string(kFadeControlId), &scene);
    for (const std::string &pair : settings)
        for (const SettingChange &change : parseSettingPair(pair, &scene)) changes.push_back(change);

    host::HostSession session(modulePath, kMixerServerName);
    host::HostSession::Instance instance = session.createInstance();
    applySettings(session, instance.get(), changes);
    scene.filters.push_back({kMixerServerName, scene::recordOfSaved(session.save(instance.get()))});
    return scene;
}

std::string changeFilterSettings(scene::Scene &scene, size_t filterIndex, const std::vector<std::string> &pairs,
                                 const std::string &modulePath) {
    std::vector<SettingChange> changes;
    for (const std::string &pair : pairs)
        for (const SettingChange &change : parseSettingPair(pair, &scene)) changes.push_back(change);
    scene::Filter &filter = scene.filters.at(filterIndex);
    host::HostSession session(modulePath, filter.server);
    host::HostSession::Instance instance = session.createInstance();
    session.load(instance.get(), std::vector<uint8_t>(filter.record.begin(), filter.record.end()));
    applySettings(session, instance.get(), changes);
    filter.record = scene::recordOfSaved(session.save(instance.get()));
    return session.describe(instance.get());
}

int runNew(const NewRequest &request, std::ostream &out) {
    std::error_code error;
    if (!request.force && std::filesystem::exists(request.scenePath, error))
        throw std::invalid_argument(request.scenePath + ": already exists; add --force to replace it");
    if (request.segment && *request.segment < 1)
        throw UsageError("--segment must be at least 1 frame (found " + std::to_string(*request.segment) + ")");
    media::FrameRange frames = request.frames.value_or(media::FrameRange{1, 24});
    double fps = request.fps.value_or(kDefaultFps);
    if (!request.from.empty()) {
        if (request.frames) throw UsageError("give --frames or --from, not both");
        const Endpoint input = describeEndpoint(request.from);
        if (input.kind == EndpointKind::Stream)
            throw UsageError("--from takes a video, an image sequence or an image, not a stream (-)");
        const InputTimeline timeline = timelineOf(input, 1);
        frames = timeline.frames;
        fps = request.fps.value_or(timeline.fps.value_or(kDefaultFps));
    }
    scene::Scene scene = newScene(fps, frames, modulePathOr(request.module), request.settings);
    scene.segment = request.segment.value_or(0);
    scene::saveSceneFile(scene, request.scenePath);
    out << "vidmixer: wrote " << request.scenePath << ": frames " << scene.firstFrame << " to " << scene.lastFrame
        << " at " << number(scene.fps) << " fps, one " << kMixerServerName << " filter at its defaults"
        << (request.settings.empty() ? "" : " but the settings given") << ", faded in by \""
        << scene.items[0].name << "\" (scale 0 to 1)\n";
    return 0;
}

int runInfo(const std::string &scenePath, const std::string &module, std::ostream &shown) {
    const scene::Scene scene = scene::loadSceneFile(scenePath);
    // Shown only once complete: a module that cannot be loaded leaves no
    // half-printed scene behind its error.
    std::ostringstream out;
    out << scenePath << ": frames " << scene.firstFrame << " to " << scene.lastFrame << " at " << number(scene.fps)
        << " fps\n";
    if (scene.millisecondNumbers)
        out << "Frames numbered by their time in milliseconds, each standing alone, as the frei0r plug-in numbers "
               "them\n";
    else if (scene.segment > 0)
        out << "Segments of " << scene.segment << (scene.segment == 1 ? " frame" : " frames")
            << ": the generator starts afresh at frame " << scene.firstFrame << " and every " << scene.segment
            << (scene.segment == 1 ? " frame" : " frames") << " after it\n";
    else
        out << "One generator history over the whole range (no segments)\n";

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
    if (scene.filters.empty()) {
        shown << out.str();
        return 0;
    }
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
    shown << out.str();
    return 0;
}

namespace {

// The value of a segment=K pair: frames from 1, or none (0).
int32_t segmentValue(const std::string &pair) {
    const std::string value = pair.substr(pair.find('=') + 1);
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "none" || lower == "off") return 0;
    int32_t frames = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), frames);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || frames < 1)
        throw UsageError(pair + ": a segment is a number of frames from 1, or none");
    return frames;
}

bool isSegmentPair(const std::string &pair) {
    const auto equals = pair.find('=');
    if (equals == std::string::npos) return false;
    std::string name = pair.substr(0, equals);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name == "segment";
}

} // namespace

int runSet(const SetRequest &request, std::ostream &out) {
    scene::Scene scene = scene::loadSceneFile(request.scenePath);
    if (request.settings.empty()) throw UsageError("no NAME=VALUE pair given; `vidmixer info` shows them all");
    // segment=K belongs to the scene; the other pairs to a filter.
    std::optional<int32_t> segment;
    std::vector<std::string> filterPairs;
    for (const std::string &pair : request.settings) {
        if (isSegmentPair(pair))
            segment = segmentValue(pair);
        else
            filterPairs.push_back(pair);
    }
    if (filterPairs.empty()) {
        scene.segment = *segment;
        scene::saveSceneFile(scene, request.scenePath);
        out << "vidmixer: " << request.scenePath << ": "
            << (scene.segment > 0 ? "segments of " + std::to_string(scene.segment) + " frames" : "no segments") << "\n";
        return 0;
    }
    const size_t count = scene.filters.size();
    if (request.filter < 1 || static_cast<size_t>(request.filter) > count)
        throw UsageError("--filter " + std::to_string(request.filter) + ": no such filter; the scene has " +
                         (count == 0 ? "none" : count == 1 ? "filter 1" : "filters 1 to " + std::to_string(count)));
    if (segment) scene.segment = *segment;
    const std::string description =
        changeFilterSettings(scene, static_cast<size_t>(request.filter - 1), filterPairs, modulePathOr(request.module));
    scene::saveSceneFile(scene, request.scenePath);
    out << "vidmixer: " << request.scenePath << ": filter " << request.filter << ": " << description << "\n";
    return 0;
}

} // namespace kivo::cli
