#include "host/cli/render_plan.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "host/cli/cli_options.h"
#include "host/cli/instance_settings.h"
#include "host/media/atomic_file.h"
#include "host/media/image_file.h"

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

} // namespace kivo::cli
