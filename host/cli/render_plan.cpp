#include "host/cli/render_plan.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "host/cli/cli_options.h"
#include "host/cli/instance_settings.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_sink.h"
#include "host/media/image_file.h"
#include "host/media/video_source.h"

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

std::vector<int32_t> framesToReplayBefore(const scene::Scene &scene, const std::vector<int32_t> &present,
                                          int32_t frame) {
    const auto from = std::lower_bound(present.begin(), present.end(), scene.historyStart(scene.historyOf(frame)));
    const auto to = std::lower_bound(present.begin(), present.end(), frame);
    return from < to ? std::vector<int32_t>(from, to) : std::vector<int32_t>{};
}

RenderPlan planRun(const scene::Scene &scene, const std::vector<int32_t> &present, const std::vector<int32_t> &toWrite,
                   bool replay, const std::function<void(media::FrameRange)> &checkSpan) {
    RenderPlan plan;
    std::map<int64_t, std::vector<int32_t>> byHistory;
    for (int32_t frame : toWrite)
        byHistory[scene.historyOf(frame)].push_back(frame);
    for (auto &[history, frames] : byHistory) {
        std::sort(frames.begin(), frames.end());
        std::vector<int32_t> span = frames;
        if (replay) {
            span = framesToReplayBefore(scene, present, frames.front());
            const auto from = std::lower_bound(present.begin(), present.end(), frames.front());
            span.insert(span.end(), from, std::upper_bound(from, present.end(), frames.back()));
            if (checkSpan) checkSpan({span.front(), frames.back()});
        }
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

// An input's frames as a plan needs them.
struct InputFrames {
    std::vector<int32_t> present; // every frame it has, increasing
    std::vector<int32_t> chosen;  // those of the range asked for
    std::function<std::pair<int32_t, int32_t>()> size; // of its frames as the module sees them
};

InputFrames sequenceInput(const Endpoint &input, const PlanRequest &request) {
    const media::FramePattern pattern(input.path);
    InputFrames frames{pattern.discover(), media::sequenceFrames(pattern, request.frames), {}};
    frames.size = [pattern, first = frames.chosen.front()] {
        const media::DecodedImage decoded = media::readImageFile(pattern.pathOf(first));
        return std::pair{decoded.image.width, decoded.image.height};
    };
    return frames;
}

// A video's frames numbered from its first, each as a straight decode gives it.
InputFrames videoInput(const scene::Scene &scene, const Endpoint &input, const PlanRequest &request) {
    const int32_t first = request.start.value_or(scene.firstFrame);
    const media::VideoSource video(input.path, first, std::nullopt, {request.autorotate});
    const int64_t last = std::min<int64_t>(int64_t{first} + video.frameTotal() - 1, INT32_MAX);
    InputFrames frames;
    for (int64_t frame = first; frame <= last; ++frame) {
        frames.present.push_back(static_cast<int32_t>(frame));
        if (!request.frames || (frame >= request.frames->first && frame <= request.frames->last))
            frames.chosen.push_back(static_cast<int32_t>(frame));
    }
    if (frames.present.empty()) throw media::FileError(input.path, "the video has no frames");
    if (frames.chosen.empty())
        throw media::FileError(input.path, "its frames are numbered " + std::to_string(first) + " to " +
                                               std::to_string(last) + "; --frames " +
                                               std::to_string(request.frames->first) + "-" +
                                               std::to_string(request.frames->last) + " lies outside them");
    frames.size = [size = std::pair{video.width(), video.height()}] { return size; };
    return frames;
}

// The input's frames this render writes, with --resume only those missing
// or cut short.
std::vector<int32_t> framesToWrite(const scene::Scene &scene, const RenderEndpoints &ends, const PlanRequest &request,
                                   const InputFrames &input, RenderPlan &plan) {
    std::vector<int32_t> mine = input.chosen;
    if (request.share) {
        const std::vector<int64_t> histories = shareOf(historiesOf(scene, input.chosen), *request.share);
        std::erase_if(mine, [&](int32_t frame) {
            return !std::binary_search(histories.begin(), histories.end(), scene.historyOf(frame));
        });
    }
    plan.mine = static_cast<int64_t>(mine.size());
    if (ends.output.kind != EndpointKind::Sequence) return mine;
    const media::FramePattern output(ends.output.path);
    if (ends.input.kind == EndpointKind::Sequence)
        media::checkOutputSparesInput(media::FramePattern(ends.input.path), input.chosen, output, input.chosen);
    if (!request.resume) return mine;
    const auto [width, height] = input.size();
    const ResumeState state = checkOutputs(output, input.present, mine, width, height);
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
    const EndpointKind kind = ends.input.kind;
    if (kind == EndpointKind::Sequence || kind == EndpointKind::Video) {
        const InputFrames input =
            kind == EndpointKind::Sequence ? sequenceInput(ends.input, request) : videoInput(scene, ends.input, request);
        const std::vector<int32_t> toWrite = framesToWrite(scene, ends, request, input, plan);
        plan.finished = toWrite.empty();
        if (plan.finished) return plan;
        std::function<void(media::FrameRange)> checkSpan;
        if (kind == EndpointKind::Sequence)
            checkSpan = [pattern = media::FramePattern(ends.input.path)](media::FrameRange span) {
                media::sequenceFrames(pattern, span);
            };
        RenderPlan run = planRun(scene, input.present, toWrite, request.replay, checkSpan);
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
                               (ends.input.allows.seek && ends.output.allows.keep ? ", or --resume to keep " + them + " and render the rest"
                                                         : ""));
}

} // namespace kivo::cli
