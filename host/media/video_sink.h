// Video files written with FFmpeg's libraries: frames encoded in the
// container the file name's extension names, keeping what the source video
// says of how to show them, with its sound and subtitle streams copied in
// where the container takes them and converted where it does not.
#ifndef KIVO_HOST_MEDIA_VIDEO_SINK_H
#define KIVO_HOST_MEDIA_VIDEO_SINK_H

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/media/encoder_policy.h"
#include "host/media/frame_sink.h"
#include "host/media/video_source.h"

namespace kivo::media {

struct VideoOutputOptions {
    std::string codec; // empty: the container's default
    // Passed to the encoder; "pix_fmt" chooses the encoder's pixel format.
    CodecOptions codecOptions;
    FrameRate frameRate;                   // of the output; must be known
    std::optional<bool> alpha;             // unknown: decided from the first frame
    std::optional<VideoOrigin> origin;     // the source video, whose time line the output keeps
    bool copyStreams = true;               // carry the origin's sound and subtitle streams over
    std::string audioCodec;                // every sound stream's encoder; empty: copy where the container takes it
    CodecOptions formatOptions;            // for the container; .mp4 and .mov get movflags=+faststart unless given
    std::function<void(const std::string &)> warn; // one-line warnings
    std::function<void(const std::string &)> note; // one-line notes
};

// Writes beside the target and renames it into place only in finish(),
// after the trailer was written and the file flushed and closed; a sink
// destroyed without finish() leaves nothing behind.
class VideoSink : public FrameSink {
public:
    // Checks the container, codec and options; throws FileError naming the
    // file. Creates the file's folder when it is missing, and removes the
    // temporary files that killed runs left in it. The encoder opens with
    // the first frame.
    VideoSink(std::string path, VideoOutputOptions options);
    ~VideoSink() override;
    VideoSink(const VideoSink &) = delete;
    VideoSink &operator=(const VideoSink &) = delete;

    void write(const Frame &frame) override;
    bool unordered() const override { return false; }
    // Drains the encoder, copies the rest of the other streams, writes the
    // trailer, closes and renames. Throws FileError.
    void finish() override;

private:
    class Writer;
    std::unique_ptr<Writer> writer_;
};

} // namespace kivo::media

#endif
