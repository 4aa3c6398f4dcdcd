// What the viewer shows frames of: the input a render takes (an image
// sequence or a video file) or, without one, the demo's generated test
// picture. Its frames are numbered as `vidmixer render` numbers them and run
// without a gap from first() to last().
#ifndef KIVO_HOST_PREVIEW_PREVIEW_INPUT_H
#define KIVO_HOST_PREVIEW_PREVIEW_INPUT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/media/frame_source.h"
#include "host/scene/scene.h"

namespace kivo::preview {

class PreviewInput {
public:
    // The size of the generated picture.
    static constexpr int32_t kDemoWidth = 1280, kDemoHeight = 720;

    // path empty: the demo picture over the scene's range. A video's frames
    // are numbered from the scene's first frame. Throws media::FileError
    // naming the file, as a render would.
    static std::unique_ptr<PreviewInput> open(const std::string &path, const scene::Scene &scene);
    virtual ~PreviewInput() = default;

    int32_t first() const { return first_; }
    int32_t last() const { return last_; }
    const std::string &path() const { return path_; }                // empty for the demo picture
    const std::vector<int32_t> &present() const { return present_; } // first() to last()

    // The frames from..to (inside first()..last()) in order.
    virtual std::unique_ptr<media::FrameSource> frames(int32_t from, int32_t to) const = 0;

protected:
    PreviewInput(std::string path, int32_t first, int32_t last);

private:
    std::string path_;
    int32_t first_, last_;
    std::vector<int32_t> present_;
};

// The demo's test picture of frame number within first..last.
class DemoSource : public media::FrameSource {
public:
    DemoSource(int32_t first, int32_t last, int32_t from, int32_t to)
        : first_(first), last_(last), next_(from), to_(to) {}
    bool next(media::Frame &frame) override;
    std::optional<int64_t> count() const override { return int64_t{to_} - next_ + 1; }

private:
    int32_t first_, last_;
    int64_t next_;
    int32_t to_;
};

} // namespace kivo::preview

#endif
