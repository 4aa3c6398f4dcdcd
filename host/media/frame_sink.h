// Where a render's finished frames go: an image sequence (each file written
// beside its place and renamed once complete), one image file, or raw RGBA
// frames on a stream.
#ifndef KIVO_HOST_MEDIA_FRAME_SINK_H
#define KIVO_HOST_MEDIA_FRAME_SINK_H

#include <optional>
#include <string>
#include <vector>

#include "host/media/frame_pattern.h"
#include "host/media/frame_source.h"
#include "host/media/image_file.h"
#include "host/media/raw_stream.h"

namespace kivo::media {

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Throws FileError naming the file or stream.
    virtual void write(const Frame &frame) = 0;
    // True when frames may be written by several threads at once, in any order.
    virtual bool unordered() const = 0;
    // After the last frame: completes what the frames went into. Throws
    // FileError.
    virtual void finish() {}
};

class SequenceSink : public FrameSink {
public:
    // Creates the pattern's directory when it is missing, and removes the
    // temporary files that killed runs left in it.
    explicit SequenceSink(FramePattern pattern, int pngCompression = kDefaultPngCompression);
    void write(const Frame &frame) override;
    bool unordered() const override { return true; }
    const FramePattern &pattern() const { return pattern_; }

private:
    FramePattern pattern_;
    int pngCompression_;
};

// One image file, in the format its extension names, of the render's one
// frame: kept until finish() writes it, so that a render of more frames
// fails before anything is written.
class ImageSink : public FrameSink {
public:
    // Creates the file's directory when it is missing, and removes the
    // temporary files that killed runs left in it.
    explicit ImageSink(std::string path, int pngCompression = kDefaultPngCompression);
    void write(const Frame &frame) override; // throws FileError for a second frame
    bool unordered() const override { return false; }
    void finish() override;

private:
    std::string path_;
    int pngCompression_;
    std::optional<Frame> frame_;
};

class StreamSink : public FrameSink {
public:
    StreamSink(int fd, std::string name) : writer_(fd, std::move(name)) {}
    void write(const Frame &frame) override { writer_.write(frame.image); }
    bool unordered() const override { return false; }

private:
    RawFrameWriter writer_;
};

// Throws FileError when an output file of one of the frames would be one of
// the input sequence's files: the render would overwrite its own input.
void checkOutputSparesInput(const FramePattern &input, const std::vector<int32_t> &inputFrames,
                            const FramePattern &output, const std::vector<int32_t> &outputFrames);

} // namespace kivo::media

#endif
