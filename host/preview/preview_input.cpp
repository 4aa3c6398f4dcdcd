#include "host/preview/preview_input.h"

#include "host/cli/demo_frames.h"
#include "host/media/atomic_file.h"
#include "host/media/frame_pattern.h"
#include "host/media/video_file.h"

namespace kivo::preview {
namespace {

class SequenceInput : public PreviewInput {
public:
    SequenceInput(const std::string &path, const std::vector<int32_t> &frames)
        : PreviewInput(path, frames.front(), frames.back()), pattern_(path) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        std::vector<int32_t> numbers;
        for (int64_t frame = from; frame <= to; ++frame) numbers.push_back(static_cast<int32_t>(frame));
        return std::make_unique<media::SequenceSource>(pattern_, std::move(numbers));
    }

private:
    media::FramePattern pattern_;
};

class VideoInput : public PreviewInput {
public:
    VideoInput(const std::string &path, int32_t first, int64_t count)
        : PreviewInput(path, first, static_cast<int32_t>(first + count - 1)) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        return std::make_unique<media::VideoSource>(path(), first(), media::FrameRange{from, to});
    }
};

class DemoInput : public PreviewInput {
public:
    explicit DemoInput(const scene::Scene &scene) : PreviewInput("", scene.firstFrame, scene.lastFrame) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        return std::make_unique<DemoSource>(first(), last(), from, to);
    }
};

// A video's frame count as its file declares it, else as many as decode.
int64_t videoFrameCount(const std::string &path, int32_t first) {
    media::VideoSource video(path, first);
    if (const std::optional<int64_t> declared = video.count()) return *declared;
    int64_t count = 0;
    for (media::Frame frame; video.next(frame);) ++count;
    return count;
}

} // namespace

PreviewInput::PreviewInput(std::string path, int32_t first, int32_t last)
    : path_(std::move(path)), first_(first), last_(last) {
    for (int64_t frame = first; frame <= last; ++frame) present_.push_back(static_cast<int32_t>(frame));
}

bool DemoSource::next(media::Frame &frame) {
    if (next_ > to_) return false;
    const auto number = static_cast<int32_t>(next_++);
    const int64_t count = int64_t{last_} - first_ + 1;
    frame.number = number;
    frame.image = cli::demoFrame(static_cast<int>(number - first_), static_cast<int>(std::min<int64_t>(count, INT32_MAX)),
                                 PreviewInput::kDemoWidth, PreviewInput::kDemoHeight, number);
    frame.sampleType = "uint8";
    frame.deep.clear();
    frame.timestamp.reset();
    return true;
}

std::unique_ptr<PreviewInput> PreviewInput::open(const std::string &path, const scene::Scene &scene) {
    if (path.empty()) return std::make_unique<DemoInput>(scene);
    if (path == "-") throw std::invalid_argument("the viewer reads a video file or an image sequence, not a stream (-)");
    if (media::isVideoPath(path)) {
        const int64_t count = videoFrameCount(path, scene.firstFrame);
        if (count < 1) throw media::FileError(path, "has no frames");
        if (count > int64_t{INT32_MAX} - scene.firstFrame + 1)
            throw media::FileError(path, "has more frames than frame numbers after " + std::to_string(scene.firstFrame));
        return std::make_unique<VideoInput>(path, scene.firstFrame, count);
    }
    const media::FramePattern pattern(path);
    return std::make_unique<SequenceInput>(path, media::sequenceFrames(pattern, std::nullopt));
}

} // namespace kivo::preview
