// Video files read with FFmpeg's libraries: each frame of the file's video
// stream decoded to the 8-bit RGBA frames of the host core.
#ifndef KIVO_HOST_MEDIA_VIDEO_SOURCE_H
#define KIVO_HOST_MEDIA_VIDEO_SOURCE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/media/frame_source.h"

namespace kivo::media {

// A frame rate as a fraction; zero when unknown.
struct FrameRate {
    int num = 0, den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

FrameRate frameRateOf(double fps);

// What an output video keeps of the video its frames come from: the time
// line (a frame's timestamp is in microseconds of it) and the streams that
// are not the video.
struct VideoOrigin {
    std::string path;
    int videoStream = -1;               // the stream the frames are decoded from
    std::optional<int64_t> startMicros; // the file's start time, when it gives one
    bool partial = false;               // only a range of its frames is rendered
};

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
    // A frame's timestamp is its time in microseconds.
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override;

    const std::string &path() const;
    FrameRate frameRate() const;
    bool hasAlpha() const; // the stream's pixel format carries alpha
    VideoOrigin origin() const;

    // How many frames the video stream has: as the file's header says, or
    // else counted packet by packet. Throws FileError.
    int64_t frameTotal() const;

private:
    class Decoder; // the demuxer, the decoder and where they are in the file
    std::unique_ptr<Decoder> decoder_;
};

} // namespace kivo::media

#endif
