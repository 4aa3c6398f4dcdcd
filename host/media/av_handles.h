// What the media files share of FFmpeg's libraries: owning handles of
// codecs, frames and packets, and an error code's text.
#ifndef KIVO_HOST_MEDIA_AV_HANDLES_H
#define KIVO_HOST_MEDIA_AV_HANDLES_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <string>

namespace kivo::media {

inline std::string avReason(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct PacketDeleter {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct AvFrameDeleter {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct CodecDeleter {
    void operator()(AVCodecContext *codec) const { avcodec_free_context(&codec); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;

} // namespace kivo::media

#endif
