#include "host/media/frame_source.h"

#include <algorithm>
#include <limits>

#include "host/media/atomic_file.h"
#include "host/media/image_file.h"

namespace kivo::media {

std::vector<int32_t> sequenceFrames(const FramePattern &pattern, std::optional<FrameRange> range) {
    const std::vector<int32_t> found = pattern.discover();
    if (found.empty()) throw FileError(pattern.text(), "no frames found in " + pattern.directory());
    const int64_t first = range ? range->first : found.front();
    const int64_t last = range ? range->last : found.back();
    if (last < first) throw FileError(pattern.text(), "the frame range is empty");
    const std::string span =
        (range ? "frames " : "the sequence, frames ") + std::to_string(first) + " to " + std::to_string(last);
    std::vector<int32_t> frames;
    auto present = std::lower_bound(found.begin(), found.end(), first);
    for (int64_t frame = first; frame <= last; ++frame, ++present) {
        if (present == found.end() || *present != frame)
            throw FileError(pattern.pathOf(static_cast<int32_t>(frame)),
                            "input frame " + std::to_string(frame) + " is missing (a gap in " + span + ")");
        frames.push_back(static_cast<int32_t>(frame));
    }
    return frames;
}

namespace {

// Reads an image file into the frame's own buffers, which a recycled frame
// already has.
void readFrame(const std::string &path, int32_t number, Frame &frame) {
    DecodedImage decoded;
    decoded.image = std::move(frame.image);
    decoded.deep = std::move(frame.deep);
    try {
        readImageFile(path, decoded);
    } catch (const std::bad_alloc &) {
        throw FileError(path, "not enough memory to read it");
    }
    frame.number = number;
    frame.image = std::move(decoded.image);
    frame.sampleType = std::move(decoded.sampleType);
    frame.deep = std::move(decoded.deep);
}

} // namespace

SequenceSource::SequenceSource(FramePattern pattern, std::vector<int32_t> frames)
    : pattern_(std::move(pattern)), frames_(std::move(frames)) {}

bool SequenceSource::next(Frame &frame) {
    if (position_ == frames_.size()) return false;
    const int32_t number = frames_[position_++];
    const std::string path = pattern_.pathOf(number);
    readFrame(path, number, frame);
    if (width_ == 0) {
        width_ = frame.image.width;
        height_ = frame.image.height;
    } else if (frame.image.width != width_ || frame.image.height != height_) {
        throw FileError(path, "frame " + std::to_string(number) + " is " + std::to_string(frame.image.width) + "x" +
                                  std::to_string(frame.image.height) + ", but the first frame is " +
                                  std::to_string(width_) + "x" + std::to_string(height_));
    }
    return true;
}

ImageSource::ImageSource(std::string path, int32_t number, std::optional<FrameRange> range)
    : path_(std::move(path)), number_(number),
      given_(range && (number < range->first || number > range->last)) {}

bool ImageSource::next(Frame &frame) {
    if (given_) return false;
    readFrame(path_, number_, frame);
    given_ = true;
    return true;
}

StreamSource::StreamSource(int fd, std::string name, int32_t width, int32_t height, int32_t first,
                           std::optional<int64_t> limit)
    : reader_(fd, width, height, name), name_(std::move(name)), nextNumber_(first), limit_(limit) {}

bool StreamSource::next(Frame &frame) {
    if (limit_ && read_ >= *limit_) return false;
    if (!reader_.read(frame.image, "frame " + std::to_string(nextNumber_))) return false;
    if (nextNumber_ > std::numeric_limits<int32_t>::max())
        throw FileError(name_, "frame numbers end at " + std::to_string(std::numeric_limits<int32_t>::max()) +
                                   "; the stream has more frames after it (number them from lower with --start)");
    frame.number = static_cast<int32_t>(nextNumber_++);
    frame.sampleType = "uint8";
    frame.deep.clear();
    ++read_;
    return true;
}

} // namespace kivo::media
