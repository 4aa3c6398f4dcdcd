#include "host/media/encoder_policy.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace kivo::media {
namespace {

bool isGiven(const CodecOptions &given, const char *key) {
    return std::any_of(given.begin(), given.end(), [&](const auto &option) { return option.first == key; });
}

// The encoder's pixel format: packed 8-bit RGB(A) when it takes one (exact);
// 4:2:0 for the delivery codecs (what players expect); otherwise the one
// that loses least.
AVPixelFormat chooseFormat(const AVCodec *codec, bool alpha) {
    const AVPixelFormat *formats = codec->pix_fmts;
    if (formats == nullptr) return alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
    auto takes = [&](AVPixelFormat wanted) {
        for (const AVPixelFormat *f = formats; *f != AV_PIX_FMT_NONE; ++f)
            if (*f == wanted) return true;
        return false;
    };
    static const AVPixelFormat withAlpha[] = {AV_PIX_FMT_RGBA, AV_PIX_FMT_BGRA, AV_PIX_FMT_ARGB, AV_PIX_FMT_ABGR};
    static const AVPixelFormat opaque[] = {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB0, AV_PIX_FMT_BGR0,
                                           AV_PIX_FMT_0RGB, AV_PIX_FMT_0BGR};
    if (alpha)
        for (AVPixelFormat f : withAlpha)
            if (takes(f)) return f;
    for (AVPixelFormat f : opaque)
        if (takes(f)) return f;
    switch (codec->id) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_VP8:
    case AV_CODEC_ID_VP9:
    case AV_CODEC_ID_AV1:
        if (alpha && takes(AV_PIX_FMT_YUVA420P)) return AV_PIX_FMT_YUVA420P;
        if (takes(AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
        break;
    default: break;
    }
    return avcodec_find_best_pix_fmt_of_list(formats, AV_PIX_FMT_RGBA, alpha ? 1 : 0, nullptr);
}

// Visually lossless unless the user sets the quality or the rate.
void addQualityDefaults(const std::string &codec, const CodecOptions &given, CodecOptions &options) {
    for (const char *key : {"crf", "qp", "b", "q", "global_quality"})
        if (isGiven(given, key)) return;
    if (codec == "libx264" || codec == "libx265") options.emplace_back("crf", "18");
    if (codec == "libvpx-vp9") {
        options.emplace_back("crf", "20");
        options.emplace_back("b", "0");
    }
}

// libx264 holds every frame of its lookahead, each B-frame, reference and
// thread at several bytes a pixel: with its own defaults a 1920x1080 video
// takes about 500 MB and a 7680x4320 one over 4 GB. Unless the user chooses
// them (or a preset or x264 parameters, which set them too), frames up to
// 1440p get a lookahead of 10 frames, up to 4K one of 5 and fewer threads,
// and larger ones one thread, no lookahead, no B-frames and one reference:
// a render stays under 400 MB at 1080p and 2 GB at 8K.
void addMemoryDefaults(const EncoderRequest &request, CodecOptions &options) {
    if (request.codec != "libx264") return;
    const CodecOptions &given = request.given;
    if (isGiven(given, "preset") || isGiven(given, "x264-params") || isGiven(given, "x264opts")) return;
    struct Defaults {
        int64_t pixels;
        unsigned threads;
        const char *lookahead, *bframes, *references;
    };
    static const Defaults kBySize[] = {
        {2560 * 1440, 8, "10", nullptr, nullptr},
        {4096 * 2160, 4, "5", nullptr, nullptr},
        {INT64_MAX, 1, "0", "0", "1"},
    };
    const Defaults *chosen = kBySize;
    while (request.width * request.height > chosen->pixels)
        ++chosen;
    auto set = [&](const char *key, const std::string &value) {
        if (!isGiven(given, key)) options.emplace_back(key, value);
    };
    set("threads", std::to_string(std::min(std::max(request.processors, 1u), chosen->threads)));
    set("rc-lookahead", chosen->lookahead);
    if (chosen->bframes != nullptr) set("bf", chosen->bframes);
    if (chosen->references != nullptr) set("refs", chosen->references);
}

} // namespace

EncoderSetup encoderPolicy(const EncoderRequest &request) {
    const AVCodec *codec = avcodec_find_encoder_by_name(request.codec.c_str());
    if (codec == nullptr) throw std::invalid_argument("no video encoder named " + request.codec);
    EncoderSetup setup;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    for (const auto &[key, value] : request.given) {
        if (key != "pix_fmt") {
            setup.options.emplace_back(key, value);
            continue;
        }
        format = av_get_pix_fmt(value.c_str());
        if (format == AV_PIX_FMT_NONE) throw std::invalid_argument("unknown pixel format " + value);
    }
    addQualityDefaults(request.codec, request.given, setup.options);
    addMemoryDefaults(request, setup.options);
    if (format == AV_PIX_FMT_NONE) format = chooseFormat(codec, request.alpha);
    const char *name = av_get_pix_fmt_name(format);
    if (name == nullptr) throw std::invalid_argument(request.codec + " offers no pixel format");
    setup.pixelFormat = name;
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    setup.keepsAlpha = descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    return setup;
}

std::string sizeProblem(const std::string &codec, const std::string &pixelFormat, int64_t width, int64_t height) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(av_get_pix_fmt(pixelFormat.c_str()));
    if (descriptor == nullptr || !((width % 2 != 0 && descriptor->log2_chroma_w > 0) ||
                                   (height % 2 != 0 && descriptor->log2_chroma_h > 0)))
        return "";
    return "the frames are " + std::to_string(width) + "x" + std::to_string(height) + ", and " + codec +
           "'s pixel format " + pixelFormat +
           " stores colour at half the resolution, which needs an even width and height: add --codec-option "
           "pix_fmt=yuv444p, or give the frames an even size";
}

} // namespace kivo::media
