// A sound or subtitle stream that the output's container does not take as
// it is, decoded and encoded anew: sound into the container's usual codec
// (or the one asked for), text subtitles into the container's text format.
#ifndef KIVO_HOST_MEDIA_STREAM_CONVERT_H
#define KIVO_HOST_MEDIA_STREAM_CONVERT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/media/av_handles.h"

namespace kivo::media {

// Whether a container takes a stream of these parameters, found by writing
// the header of a file holding it alone (into nothing).
bool containerTakes(const AVOutputFormat *container, const AVCodecParameters *parameters);

// The encoder a container's streams of the type are converted to: sound
// into AAC for MP4 and QuickTime, Opus for WebM, else the container's own;
// text subtitles into MP4's timed text, WebVTT for WebM, else the
// container's own. Null when there is none.
const AVCodec *conversionEncoder(const AVOutputFormat *container, AVMediaType type);

class StreamConversion {
public:
    using Write = std::function<void(AVPacket *)>; // writes a packet of the output; throws on failure

    // Opens a decoder for the source stream and the encoder, and adds the
    // output stream. Throws FileError naming the output when the encoder
    // cannot take the stream (the caller then leaves it out).
    StreamConversion(const AVStream *source, const AVCodec *encoder, AVFormatContext *output,
                     const std::string &outputName);
    ~StreamConversion();
    StreamConversion(const StreamConversion &) = delete;
    StreamConversion &operator=(const StreamConversion &) = delete;

    int outputIndex() const;
    // A packet of the source stream, its times already on the output's
    // time line in the source stream's time base.
    void convert(AVPacket *packet, const Write &write);
    // Drains the decoder and the encoder at the end.
    void finish(const Write &write);

private:
    class Coder;
    std::unique_ptr<Coder> coder_;
};

} // namespace kivo::media

#endif
