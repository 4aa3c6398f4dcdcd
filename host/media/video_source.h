// Video files read with FFmpeg's libraries: each frame of the file's video
// stream decoded to the RGBA frames of the host core, turned upright as a
// player shows it, and found by its presentation time, so that a render
// can start anywhere and give the frames a straight decode gives.
#ifndef KIVO_HOST_MEDIA_VIDEO_SOURCE_H
#define KIVO_HOST_MEDIA_VIDEO_SOURCE_H

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/media/frame_source.h"

namespace kivo::media {

// A frame rate as a fraction; zero when unknown.
struct FrameRate {
    int num = 0, den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

FrameRate frameRateOf(double fps);

// What an output video keeps of the video its frames come from: the time
// line (a frame's timestamp is in microseconds of it), the streams that are
// not the video, and how the video is to be shown.
struct VideoOrigin {
    std::string path;
    int videoStream = -1;               // the stream the frames are decoded from
    std::optional<int64_t> startMicros; // the file's start time, when it gives one
    bool partial = false;               // only a range of its frames is rendered
    // Of the frames as they come out (turned upright unless asked not to):
    // the sample aspect ratio (0/1 unknown), FFmpeg's field order and
    // colour tags (their AVFieldOrder, AVColorPrimaries, ... values).
    int sampleAspectNum = 0, sampleAspectDen = 1;
    int fieldOrder = 0;
    int primaries = 2, transfer = 2, matrix = 2, range = 0; // unspecified
    // The display matrix a video output carries on: the stored one when the
    // frames were not turned upright.
    std::optional<std::array<int32_t, 9>> displayMatrix;
    // The container's and the video stream's metadata (title, language, ...).
    std::vector<std::pair<std::string, std::string>> containerTags, videoTags;
};

struct VideoReadOptions {
    bool autorotate = true; // turn the frames upright by the file's display matrix
    bool deep = false;      // give samples above 8 bits as deep (uint16) frames
};

class VideoSource : public FrameSource {
public:
    // Opens the file and its best video stream (not a cover picture).
    // Frame i (from 0, in presentation order) is numbered first + i; with a
    // range only the frames numbered inside it are given, the first found
    // by seeking to the key frame before it. Throws FileError naming the
    // file when it is not a video or an image, has no video stream, or its
    // codec cannot be decoded.
    VideoSource(std::string path, int32_t first, std::optional<FrameRange> range = std::nullopt,
                VideoReadOptions options = {});
    // Only the frames numbered in frames (increasing), seeking over gaps.
    VideoSource(std::string path, int32_t first, const std::vector<int32_t> &frames, VideoReadOptions options = {});
    ~VideoSource() override;
    VideoSource(const VideoSource &) = delete;
    VideoSource &operator=(const VideoSource &) = delete;

    // Throws FileError on a read or decode error, naming the file and frame.
    // A frame's timestamp is its time in microseconds.
    bool next(Frame &frame) override;
    std::optional<int64_t> count() const override;

    const std::string &path() const;
    FrameRate frameRate() const;
    bool hasAlpha() const; // the decoded frames carry alpha
    int bitsPerSample() const; // of the stream's pixel format
    VideoOrigin origin() const;
    // The size of the frames as they come out.
    int32_t width() const;
    int32_t height() const;
    // A warning to give once, or empty: a turn that is left as stored.
    std::string orientationNote() const;

    // How many frames a straight decode gives: as the file's header says
    // (less what an edit list leaves out), or else counted packet by packet.
    // Throws FileError.
    int64_t frameTotal() const;

private:
    class Decoder; // the demuxer, the decoder and where they are in the file
    std::unique_ptr<Decoder> decoder_;
};

} // namespace kivo::media

#endif
