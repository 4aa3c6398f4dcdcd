// What the media files share of FFmpeg's libraries: owning handles of
// codecs, frames, packets, demuxers and scalers, an error code's text, and
// opening a file for demuxing.
#ifndef KIVO_HOST_MEDIA_AV_HANDLES_H
#define KIVO_HOST_MEDIA_AV_HANDLES_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
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
struct InputDeleter {
    void operator()(AVFormatContext *format) const { avformat_close_input(&format); }
};
struct ScaleDeleter {
    void operator()(SwsContext *scale) const { sws_freeContext(scale); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleDeleter>;

// Silences the libraries' own log lines, which would interleave with the
// progress display: every failure they report reaches the user as one of
// our errors instead.
void quietLibraries();

// Opens a file for demuxing with its streams probed; throws FileError.
InputPtr openInput(const std::string &path);

// The colour matrix of a frame (swscale's SWS_CS_ value): the one it is
// tagged with, or the usual one for its height when it says nothing.
int swsColourspace(AVColorSpace tagged, int height);

// The file name of a path, without its directory.
std::string fileNameOf(const std::string &path);

} // namespace kivo::media

#endif
