#include "host/preview/preview_input.h"

#include "host/cli/demo_frames.h"
#include "host/cli/render_endpoints.h"
#include "host/media/frame_pattern.h"
#include "host/media/video_source.h"

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
    VideoInput(const std::string &path, media::FrameRange frames) : PreviewInput(path, frames.first, frames.last) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        return std::make_unique<media::VideoSource>(path(), first(), media::FrameRange{from, to});
    }
};

class ImageInput : public PreviewInput {
public:
    ImageInput(const std::string &path, int32_t number) : PreviewInput(path, number, number) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        return std::make_unique<media::ImageSource>(path(), first(), media::FrameRange{from, to});
    }
};

class DemoInput : public PreviewInput {
public:
    explicit DemoInput(const scene::Scene &scene) : PreviewInput("", scene.firstFrame, scene.lastFrame) {}

    std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const override {
        return std::make_unique<DemoSource>(first(), last(), from, to);
    }
};

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
    frame.image =
        cli::demoFrame(static_cast<int>(number - first_), static_cast<int>(std::min<int64_t>(count, INT32_MAX)),
                       PreviewInput::kDemoWidth, PreviewInput::kDemoHeight, number);
    frame.sampleType = "uint8";
    frame.deep.clear();
    frame.timestamp.reset();
    return true;
}

std::unique_ptr<PreviewInput> PreviewInput::open(const std::string &path, const scene::Scene &scene) {
    if (path.empty()) return std::make_unique<DemoInput>(scene);
    // Numbered as a render numbers them: a video's or an image's frames
    // from the scene's first frame, a sequence's by its file names.
    const cli::Endpoint input = cli::describeEndpoint(path);
    switch (input.kind) {
    case cli::EndpointKind::Sequence:
        return std::make_unique<SequenceInput>(path, media::sequenceFrames(media::FramePattern(path), std::nullopt));
    case cli::EndpointKind::Video:
        return std::make_unique<VideoInput>(path, cli::timelineOf(input, scene.firstFrame).frames);
    case cli::EndpointKind::Image: return std::make_unique<ImageInput>(path, scene.firstFrame);
    case cli::EndpointKind::Stream: break;
    }
    throw std::invalid_argument("the viewer reads a video, an image sequence or an image, not a stream (-)");
}

} // namespace kivo::preview
