#include "host/cli/render_plan.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "host/cli/cli_options.h"
#include "host/cli/instance_settings.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_sink.h"
#include "host/media/image_file.h"

#include <climits>
#include <filesystem>

namespace kivo::cli {

Share parseShare(const std::string &text) {
    const auto bad = [&](const std::string &why) {
        return UsageError("--segments " + text + ": " + why + " (expected I/N, share I of N counting from 0)");
    };
    const auto slash = text.find('/');
    if (slash == std::string::npos) throw bad("no '/'");
    Share share;
    const auto number = [&](std::string_view part, int32_t &value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc() || end != part.data() + part.size()) throw bad("not a whole number");
    };
    number(std::string_view(text).substr(0, slash), share.index);
    number(std::string_view(text).substr(slash + 1), share.count);
    if (share.count < 1) throw bad("N must be at least 1");
    if (share.index < 0 || share.index >= share.count) throw bad("I must be from 0 to N-1");
    return share;
}

std::vector<int64_t> historiesOf(const scene::Scene &scene, const std::vector<int32_t> &frames) {
    std::vector<int64_t> histories;
    for (int32_t frame : frames)
        histories.push_back(scene.historyOf(frame));
    std::sort(histories.begin(), histories.end());
    histories.erase(std::unique(histories.begin(), histories.end()), histories.end());
    return histories;
}

std::vector<int64_t> shareOf(const std::vector<int64_t> &histories, Share share) {
    const int64_t n = static_cast<int64_t>(histories.size());
    const auto begin = histories.begin() + n * share.index / share.count;
    const auto end = histories.begin() + n * (share.index + 1) / share.count;
    return {begin, end};
}

RenderPlan planRun(const scene::Scene &scene, const media::FramePattern &input, const std::vector<int32_t> &toWrite,
                   bool replay) {
    RenderPlan plan;
    std::map<int64_t, std::vector<int32_t>> byHistory;
    for (int32_t frame : toWrite)
        byHistory[scene.historyOf(frame)].push_back(frame);
    const std::vector<int32_t> present = replay ? input.discover() : std::vector<int32_t>{};
    for (auto &[history, frames] : byHistory) {
        std::sort(frames.begin(), frames.end());
        int32_t from = frames.front();
        if (replay) {
            // The history's first input frame on disk: an uninterrupted
            // render of the inputs starts there too.
            const auto first = std::lower_bound(present.begin(), present.end(), scene.historyStart(history));
            if (first != present.end() && *first < from) from = *first;
        }
        const std::vector<int32_t> span =
            replay ? media::sequenceFrames(input, media::FrameRange{from, frames.back()}) : frames;
        for (int32_t frame : span) {
            if (!std::binary_search(frames.begin(), frames.end(), frame)) plan.replayOnly.insert(frame);
            plan.run.push_back(frame);
        }
    }
    return plan;
}

ResumeState checkOutputs(const media::FramePattern &output, const std::vector<int32_t> &inputFrames,
                         const std::vector<int32_t> &checkFrames, int32_t width, int32_t height) {
    const std::vector<int32_t> present = output.discover();
    for (int32_t frame : present)
        if (!std::binary_search(inputFrames.begin(), inputFrames.end(), frame))
            throw media::FileError(output.pathOf(frame),
                                   "frame " + std::to_string(frame) + " has no input frame (the input has " +
                                       std::to_string(inputFrames.front()) + " to " +
                                       std::to_string(inputFrames.back()) +
                                       "): the output holds another render; --resume keeps only its own frames");
    ResumeState state;
    for (int32_t frame : checkFrames) {
        if (!std::binary_search(present.begin(), present.end(), frame)) {
            state.missing.push_back(frame);
            continue;
        }
        const std::string path = output.pathOf(frame);
        media::DecodedImage decoded;
        try {
            decoded = media::readImageFile(path);
        } catch (const media::FileError &) {
            state.undecodable.push_back(frame); // cut short: rendered again
            continue;
        }
        if (decoded.image.width != width || decoded.image.height != height)
            throw media::FileError(path, "frame " + std::to_string(frame) + " is " +
                                             std::to_string(decoded.image.width) + "x" +
                                             std::to_string(decoded.image.height) + ", but this render makes " +
                                             std::to_string(width) + "x" + std::to_string(height) +
                                             " frames: the output holds another render");
        state.kept.push_back(frame);
    }
    return state;
}

namespace {

// The frames of a sequence input this render writes, with --resume only
// those missing or cut short.
std::vector<int32_t> sequenceToWrite(const scene::Scene &scene, const RenderEndpoints &ends,
                                     const PlanRequest &request, RenderPlan &plan) {
    const media::FramePattern input(ends.input.path);
    const std::vector<int32_t> frames = media::sequenceFrames(input, request.frames);
    std::vector<int32_t> mine = frames;
    if (request.share) {
        const std::vector<int64_t> histories = shareOf(historiesOf(scene, frames), *request.share);
        std::erase_if(mine, [&](int32_t frame) {
            return !std::binary_search(histories.begin(), histories.end(), scene.historyOf(frame));
        });
    }
    plan.mine = static_cast<int64_t>(mine.size());
    if (ends.output.kind != EndpointKind::Sequence) return mine;
    const media::FramePattern output(ends.output.path);
    media::checkOutputSparesInput(input, frames, output, frames);
    if (!request.resume) return mine;
    const media::DecodedImage first = media::readImageFile(input.pathOf(frames.front()));
    const ResumeState state = checkOutputs(output, input.discover(), mine, first.image.width, first.image.height);
    std::vector<int32_t> toWrite = state.missing;
    toWrite.insert(toWrite.end(), state.undecodable.begin(), state.undecodable.end());
    std::sort(toWrite.begin(), toWrite.end());
    plan.kept = static_cast<int64_t>(state.kept.size());
    plan.redone = state.undecodable;
    return toWrite;
}

} // namespace

RenderPlan planRender(const scene::Scene &scene, const RenderEndpoints &ends, const PlanRequest &request) {
    RenderPlan plan;
    if (ends.input.kind == EndpointKind::Sequence) {
        const std::vector<int32_t> toWrite = sequenceToWrite(scene, ends, request, plan);
        plan.finished = toWrite.empty();
        if (plan.finished) return plan;
        RenderPlan run = planRun(scene, media::FramePattern(ends.input.path), toWrite, request.replay);
        plan.run = std::move(run.run);
        plan.replayOnly = std::move(run.replayOnly);
        plan.known = true;
        plan.firstFrame = plan.run.front();
        return plan;
    }
    plan.firstFrame = request.frames ? request.frames->first : request.start.value_or(scene.firstFrame);
    const int64_t history = scene.historyOf(plan.firstFrame);
    const int32_t historyStart = scene.historyStart(history);
    // (Frames before the range, without segments, have no first frame to speak of.)
    if (request.replay && plan.firstFrame > historyStart && (scene.segment > 0 || history >= 0))
        plan.notReplayedFrom = historyStart;
    return plan;
}

void refuseOverwrite(const RenderEndpoints &ends, const RenderPlan &plan, std::optional<media::FrameRange> frames) {
    const Endpoint &output = ends.output;
    std::error_code error;
    if (output.kind == EndpointKind::Video || output.kind == EndpointKind::Image) {
        const bool sameKind = ends.input.kind == output.kind;
        if (sameKind && std::filesystem::equivalent(ends.input.path, output.path, error))
            throw media::FileError(output.path, std::string("the output would overwrite the input ") +
                                                    (output.kind == EndpointKind::Video ? "video" : "image") +
                                                    "; choose another output");
        if (std::filesystem::exists(output.path, error))
            throw media::FileError(output.path, "exists; add -y (--overwrite) to replace it");
        return;
    }
    if (output.kind != EndpointKind::Sequence) return;
    const media::FramePattern pattern(output.path);
    std::vector<int32_t> existing = pattern.discover();
    if (plan.known) {
        std::erase_if(existing, [&](int32_t frame) {
            return !std::binary_search(plan.run.begin(), plan.run.end(), frame) || plan.replayOnly.count(frame) > 0;
        });
    } else {
        // A video's or stream's frames are not known beforehand: any from
        // its first frame on may be written.
        const int32_t last = frames ? frames->last : INT32_MAX;
        std::erase_if(existing, [&](int32_t frame) { return frame < plan.firstFrame || frame > last; });
    }
    if (existing.empty()) return;
    const size_t more = existing.size() - 1;
    const std::string them = more == 0 ? "it" : "them";
    throw media::FileError(pattern.pathOf(existing.front()),
                           (more == 0 ? std::string("exists")
                                      : "exists, as do " + std::to_string(more) +
                                            " more of the frames this render writes (up to " +
                                            pattern.pathOf(existing.back()) + ")") +
                               "; add -y (--overwrite) to replace " + them +
                               (ends.input.allows.resume ? ", or --resume to keep " + them + " and render the rest"
                                                         : ""));
}

} // namespace kivo::cli
