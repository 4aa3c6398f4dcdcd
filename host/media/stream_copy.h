// The sound and subtitle streams of a video carried into another, on the
// other's time line: copied packet by packet where the other's container
// takes them, else converted; read with a demuxer of their own, and
// interleaved with the other's video as it is written.
#ifndef KIVO_HOST_MEDIA_STREAM_COPY_H
#define KIVO_HOST_MEDIA_STREAM_COPY_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/media/av_handles.h"
#include "host/media/stream_convert.h"

namespace kivo::media {

// What to copy: the streams of a file but one.
struct CopySource {
    std::string path;
    int skipStream = -1; // the video the frames come from, which is encoded anew
    std::string audioCodec; // every sound stream's encoder; empty or "copy": copied where it fits
};

// Where the copies go on the output's time line: source time offsetMicros
// becomes the output's zero; with an end, only packets from zero up to it
// are copied (a range of the source's frames).
struct CopySpan {
    int64_t offsetMicros = 0;
    std::optional<int64_t> endMicros;
};

class StreamCopy {
public:
    using Warn = std::function<void(const std::string &)>;
    using Write = std::function<void(AVPacket *)>; // writes a packet of the output; throws on failure

    // Opens the source and adds an output stream for each of its sound and
    // subtitle streams: a copy where the output's container takes it, else
    // a conversion (with a note); warns of those left out, with the
    // output's name. Throws FileError, for an audio codec asked for that
    // cannot be had too.
    StreamCopy(const CopySource &source, AVFormatContext *output, const std::string &outputName, const Warn &warn,
               const Warn &note);
    ~StreamCopy();
    StreamCopy(StreamCopy &&) = delete;

    // Writes the packets that start before limitMicros of output time.
    void copyUntil(int64_t limitMicros, const CopySpan &span, const Write &write);
    // Writes what the conversions still hold, at the end.
    void finish(const Write &write);

private:
    bool readPending();
    void addStream(unsigned index, const CopySource &source, const std::string &outputName, const Warn &warn,
                   const Warn &note);

    std::string path_;
    InputPtr input_;
    AVFormatContext *output_;
    std::vector<int> map_; // source stream -> output stream, or -1
    std::vector<std::unique_ptr<StreamConversion>> conversions_; // by source stream; null for a copy
    PacketPtr packet_{av_packet_alloc()};
    bool pending_ = false, done_ = true;
};

} // namespace kivo::media

#endif
