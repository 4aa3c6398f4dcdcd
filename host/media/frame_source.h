// Where a render's frames come from: an image sequence on disk, one image
// file, or raw RGBA frames on a stream. Every frame has the size of the
// first.
#ifndef KIVO_HOST_MEDIA_FRAME_SOURCE_H
#define KIVO_HOST_MEDIA_FRAME_SOURCE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/core/rgba_image.h"
#include "host/media/frame_pattern.h"
#include "host/media/raw_stream.h"

namespace kivo::media {

struct Frame {
    int32_t number = 0;
    host::RgbaImage image;
    std::string sampleType = "uint8"; // what the source stored; outputs keep it
    // For sample types other than uint8: the frame as RGBA floats at full
    // precision (see DecodedImage); empty otherwise.
    std::vector<float> deep;
    std::optional<int64_t> timestamp;  // a video frame's time, in microseconds
};

struct FrameRange {
    int32_t first, last;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // The next frame; false after the last. Throws FileError naming the file
    // or frame that cannot be had.
    virtual bool next(Frame &frame) = 0;
    // How many frames there will be, when known beforehand.
    virtual std::optional<int64_t> count() const = 0;
};

// The frames of a sequence to render: every frame found, or those in range;
// throws FileError naming the pattern when none is found or one inside the
// span is missing.
std::vector<int32_t> sequenceFrames(const FramePattern &pattern, std::optional<FrameRange> range);

class SequenceSource : public FrameSource {
public:
    SequenceSource(FramePattern pattern, std::vector<int32_t> frames);
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override { return static_cast<int64_t>(frames_.size()); }

private:
    FramePattern pattern_;
    std::vector<int32_t> frames_;
    size_t position_ = 0;
    int32_t width_ = 0, height_ = 0;
};

// One image file, as the frame numbered number; none when a range leaves
// it out.
class ImageSource : public FrameSource {
public:
    ImageSource(std::string path, int32_t number, std::optional<FrameRange> range = std::nullopt);
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override { return given_ ? 0 : 1; }

private:
    std::string path_;
    int32_t number_;
    bool given_;
};

class StreamSource : public FrameSource {
public:
    // Frames are numbered from first; at most limit frames are read.
    StreamSource(int fd, std::string name, int32_t width, int32_t height, int32_t first,
                 std::optional<int64_t> limit = std::nullopt);
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override { return limit_; }

private:
    RawFrameReader reader_;
    std::string name_;
    int64_t nextNumber_;
    std::optional<int64_t> limit_;
    int64_t read_ = 0;
};

} // namespace kivo::media

#endif
