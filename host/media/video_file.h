// Video files read and written with FFmpeg's libraries: frames are decoded
// to the 8-bit RGBA frames of the host core and encoded from them; the
// input's sound and subtitle streams can be copied into the output unchanged.
#ifndef KIVO_HOST_MEDIA_VIDEO_FILE_H
#define KIVO_HOST_MEDIA_VIDEO_FILE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/media/frame_sink.h"
#include "host/media/frame_source.h"

namespace kivo::media {

// True for a path that names one file rather than a numbered sequence: no
// '#' run and no '%' conversion in its file name.
bool isVideoPath(const std::string &path);

// A frame rate as a fraction; zero when unknown.
struct FrameRate {
    int num = 0, den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

FrameRate frameRateOf(double fps);

class VideoSource : public FrameSource {
public:
    // Opens the file and its best video stream. Frame i (from 0) is numbered
    // first + i; with a range only the frames numbered inside it are given.
    // Throws FileError naming the file when it is not a video or an image,
    // has no video stream, or its codec cannot be decoded.
    VideoSource(std::string path, int32_t first, std::optional<FrameRange> range = std::nullopt);
    ~VideoSource() override;
    VideoSource(const VideoSource &) = delete;
    VideoSource &operator=(const VideoSource &) = delete;

    // Throws FileError on a read or decode error, naming the file and frame.
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override;

    const std::string &path() const;
    int32_t width() const;
    int32_t height() const;
    FrameRate frameRate() const;
    bool hasAlpha() const; // the stream's pixel format carries alpha

    struct State;
    const State &state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

struct VideoOutputOptions {
    std::string codec; // empty: the container's default
    // Passed to the encoder; "pix_fmt" chooses the encoder's pixel format.
    std::vector<std::pair<std::string, std::string>> codecOptions;
    FrameRate frameRate;                   // of the output; must be known
    std::optional<bool> alpha;             // unknown: decided from the first frame
    const VideoSource *copyFrom = nullptr; // the source video, whose timing the output keeps
    bool copyStreams = true;               // copy copyFrom's sound and subtitle streams
    std::function<void(const std::string &)> warn; // one-line warnings
};

// Writes beside the target and renames it into place only in finish(),
// after the trailer was written and the file flushed and closed; a sink
// destroyed without finish() leaves nothing behind.
class VideoSink : public FrameSink {
public:
    // Checks the container, codec and options; throws FileError naming the
    // file. The encoder opens with the first frame.
    VideoSink(std::string path, VideoOutputOptions options);
    ~VideoSink() override;
    VideoSink(const VideoSink &) = delete;
    VideoSink &operator=(const VideoSink &) = delete;

    void write(const Frame &frame) override;
    bool unordered() const override { return false; }
    // Drains the encoder, copies the rest of the other streams, writes the
    // trailer, closes and renames. Throws FileError.
    void finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace kivo::media

#endif
