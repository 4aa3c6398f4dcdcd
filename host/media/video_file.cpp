#include "host/media/video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "host/core/frame_buffer.h"
#include "host/core/pixel_layout.h"
#include "host/media/atomic_file.h"
#include "host/media/av_handles.h"
#include "host/media/raw_stream.h"

namespace kivo::media {
namespace {

std::string fileNameOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool pixelFormatHasAlpha(int format) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool pixelFormatIsRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

// The colour matrix for YUV conversions: the one a frame is tagged with, or
// the usual one for its height when it says nothing.
int swsColourspace(AVColorSpace tagged, int height) {
    switch (tagged) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

AVColorSpace avColourspace(int sws) {
    switch (sws) {
    case SWS_CS_ITU709: return AVCOL_SPC_BT709;
    case SWS_CS_FCC: return AVCOL_SPC_FCC;
    case SWS_CS_SMPTE240M: return AVCOL_SPC_SMPTE240M;
    case SWS_CS_BT2020: return AVCOL_SPC_BT2020_NCL;
    default: return AVCOL_SPC_SMPTE170M;
    }
}

struct InputDeleter {
    void operator()(AVFormatContext *format) const { avformat_close_input(&format); }
};
struct ScaleDeleter {
    void operator()(SwsContext *scale) const { sws_freeContext(scale); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleDeleter>;

// The libraries' own log lines would interleave with the progress display;
// every failure they report reaches the user as one of our errors instead.
void quietLibraries() {
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
}

// Opens a file for demuxing with its streams probed; throws FileError.
InputPtr openInput(const std::string &path) {
    quietLibraries();
    AVFormatContext *raw = nullptr;
    int status = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (status < 0) {
        if (status == AVERROR(ENOENT) || status == AVERROR(EACCES)) throw FileError(path, avReason(status));
        throw FileError(path, "cannot be read as a video or an image (" + avReason(status) + ")");
    }
    InputPtr input(raw);
    status = avformat_find_stream_info(raw, nullptr);
    if (status < 0) throw FileError(path, "cannot read its streams: " + avReason(status));
    return input;
}

} // namespace

bool isVideoPath(const std::string &path) {
    const std::string name = fileNameOf(path);
    return name.find('#') == std::string::npos && name.find('%') == std::string::npos;
}

FrameRate frameRateOf(double fps) {
    const AVRational rate = av_d2q(fps, 1000000);
    return {rate.num, rate.den};
}

// ---------------------------------------------------------------- reading

struct VideoSource::State {
    std::string path;
    int32_t first;
    std::optional<FrameRange> range;
    InputPtr input;
    int stream = -1;
    CodecPtr decoder;
    PacketPtr packet{av_packet_alloc()};
    AvFramePtr decoded{av_frame_alloc()};
    ScalePtr scale;
    int64_t index = 0; // frames decoded so far
    bool draining = false, finished = false;
    int32_t width = 0, height = 0;

    // The next decoded frame into decoded; false at the end of the stream.
    bool decodeNext() {
        for (;;) {
            int status = avcodec_receive_frame(decoder.get(), decoded.get());
            if (status == 0) return true;
            if (status == AVERROR_EOF) return false;
            if (status != AVERROR(EAGAIN)) throw FileError(path, frameName() + ": " + avReason(status));
            status = av_read_frame(input.get(), packet.get());
            if (status == AVERROR_EOF) {
                if (input->pb != nullptr && input->pb->error < 0)
                    throw FileError(path, "cannot read: " + avReason(input->pb->error));
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
                continue;
            }
            if (status < 0) throw FileError(path, "cannot read " + frameName() + ": " + avReason(status));
            if (packet->stream_index != stream) {
                av_packet_unref(packet.get());
                continue;
            }
            const bool damaged = (packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
            status = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (damaged) throw FileError(path, frameName() + " is damaged or cut short");
            if (status < 0 && status != AVERROR(EAGAIN))
                throw FileError(path, "cannot decode " + frameName() + ": " + avReason(status));
        }
    }

    std::string frameName() const { return "frame " + std::to_string(int64_t{first} + index); }

    // How many frames the file says the stream has: its frame count, or its
    // length at its frame rate; nothing when it does not say.
    std::optional<int64_t> declaredFrames() const {
        const AVStream *video = input->streams[stream];
        if (video->nb_frames > 0) return video->nb_frames;
        const AVRational rate = av_guess_frame_rate(input.get(), const_cast<AVStream *>(video), nullptr);
        if (rate.num <= 0 || rate.den <= 0) return std::nullopt;
        int64_t micros = -1;
        if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
            micros = av_rescale_q(video->duration, video->time_base, AV_TIME_BASE_Q);
        else if (const AVDictionaryEntry *tag = av_dict_get(video->metadata, "DURATION", nullptr, 0))
            av_parse_time(&micros, tag->value, 1);
        else if (input->nb_streams == 1 && input->duration != AV_NOPTS_VALUE)
            micros = input->duration;
        if (micros <= 0) return std::nullopt;
        return av_rescale_q(micros, AV_TIME_BASE_Q, av_inv_q(rate));
    }

    // At the end of the stream: a file that stops well before the length it
    // declares was cut short.
    void checkComplete() const {
        const std::optional<int64_t> declared = declaredFrames();
        if (!declared) return;
        const int64_t slack = video()->nb_frames > 0 ? 0 : std::max<int64_t>(2, *declared / 50);
        if (index + slack < *declared)
            throw FileError(path, "the video ends after " + std::to_string(index) + " of its " +
                                      std::to_string(*declared) + " frames; it is cut short or damaged");
    }
    const AVStream *video() const { return input->streams[stream]; }
};

VideoSource::VideoSource(std::string path, int32_t first, std::optional<FrameRange> range)
    : state_(std::make_unique<State>()) {
    State &s = *state_;
    s.path = std::move(path);
    s.first = first;
    s.range = range;
    if (!s.packet || !s.decoded) throw FileError(s.path, "out of memory");
    s.input = openInput(s.path);
    const AVCodec *codec = nullptr;
    s.stream = av_find_best_stream(s.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (s.stream == AVERROR_STREAM_NOT_FOUND) throw FileError(s.path, "has no video stream");
    const AVCodecParameters *parameters = s.input->streams[s.stream]->codecpar;
    if (s.stream < 0 || codec == nullptr)
        throw FileError(s.path, std::string("cannot decode its video (codec ") +
                                    avcodec_get_name(parameters->codec_id) + ")");
    if (parameters->width <= 0 || parameters->height <= 0) throw FileError(s.path, "the video has no frame size");
    if (int64_t{parameters->width} * parameters->height > kMaxFramePixels)
        throw FileError(s.path, "the video is too large (" + std::to_string(parameters->width) + "x" +
                                    std::to_string(parameters->height) + ")");
    s.decoder.reset(avcodec_alloc_context3(codec));
    if (!s.decoder || avcodec_parameters_to_context(s.decoder.get(), parameters) < 0)
        throw FileError(s.path, "out of memory");
    // Slice threads on every core. Frame threads would each hold frames of
    // their own (about 20 MB at 1080p, 200 MB at 8K) while the filter and
    // the encoder keep the cores busy already.
    s.decoder->thread_count = 0;
    s.decoder->thread_type = FF_THREAD_SLICE;
    s.decoder->pkt_timebase = s.input->streams[s.stream]->time_base;
    // A damaged frame is an error, not a frame quietly patched up.
    s.decoder->err_recognition |= AV_EF_EXPLODE;
    const int status = avcodec_open2(s.decoder.get(), codec, nullptr);
    if (status < 0)
        throw FileError(s.path, std::string("cannot decode its video (") + codec->name + "): " + avReason(status));
    s.width = parameters->width;
    s.height = parameters->height;
    // Other streams are not decoded; the demuxer can drop their packets early.
    for (unsigned i = 0; i < s.input->nb_streams; ++i)
        if (static_cast<int>(i) != s.stream) s.input->streams[i]->discard = AVDISCARD_ALL;
}

VideoSource::~VideoSource() = default;

bool VideoSource::next(Frame &frame) {
    State &s = *state_;
    for (;;) {
        if (s.finished) return false;
        if (!s.decodeNext()) {
            s.finished = true;
            s.checkComplete();
            return false;
        }
        const int64_t number = int64_t{s.first} + s.index;
        AVFrame *decoded = s.decoded.get();
        if ((decoded->flags & AV_FRAME_FLAG_CORRUPT) != 0 || decoded->decode_error_flags != 0)
            throw FileError(s.path, s.frameName() + " is damaged");
        if (decoded->width != s.width || decoded->height != s.height)
            throw FileError(s.path, s.frameName() + " is " + std::to_string(decoded->width) + "x" +
                                        std::to_string(decoded->height) + ", but the video is " +
                                        std::to_string(s.width) + "x" + std::to_string(s.height));
        ++s.index;
        if (number > INT32_MAX) throw FileError(s.path, "frame numbers run past " + std::to_string(INT32_MAX));
        if (s.range && number < s.range->first) {
            av_frame_unref(decoded);
            continue;
        }
        if (s.range && number > s.range->last) {
            av_frame_unref(decoded);
            s.finished = true;
            return false;
        }

        const auto format = static_cast<AVPixelFormat>(decoded->format);
        s.scale.reset(sws_getCachedContext(s.scale.release(), s.width, s.height, format, s.width, s.height,
                                           AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!s.scale)
            throw FileError(s.path, std::string("cannot convert pixel format ") +
                                        (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?"));
        if (!pixelFormatIsRgb(format)) {
            const int colourspace = swsColourspace(decoded->colorspace, s.height);
            sws_setColorspaceDetails(s.scale.get(), sws_getCoefficients(colourspace),
                                     decoded->color_range == AVCOL_RANGE_JPEG, sws_getCoefficients(SWS_CS_DEFAULT),
                                     1, 0, 1 << 16, 1 << 16);
        }
        if (frame.image.width != s.width || frame.image.height != s.height ||
            frame.image.pixels.size() != static_cast<size_t>(s.width) * s.height * 4) {
            frame.image.width = s.width;
            frame.image.height = s.height;
            const size_t bytes = static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 4;
            host::reserveFrameBuffer(frame.image.pixels, bytes);
            frame.image.pixels.resize(bytes);
        }
        uint8_t *target[4] = {frame.image.pixels.data(), nullptr, nullptr, nullptr};
        const int stride[4] = {s.width * 4, 0, 0, 0};
        sws_scale(s.scale.get(), decoded->data, decoded->linesize, 0, s.height, target, stride);
        if (!pixelFormatHasAlpha(format)) {
            // Some conversions leave alpha unset; a frame without alpha is opaque.
            host::makeOpaque(frame.image.pixels.data(), frame.image.pixels.size() / 4);
        }
        frame.number = static_cast<int32_t>(number);
        frame.sampleType = "uint8";
        frame.deep.clear();
        frame.timestamp = decoded->best_effort_timestamp == AV_NOPTS_VALUE
                              ? std::nullopt
                              : std::optional<int64_t>(decoded->best_effort_timestamp);
        av_frame_unref(decoded);
        return true;
    }
}

std::optional<int64_t> VideoSource::count() const {
    const State &s = *state_;
    const int64_t frames = s.input->streams[s.stream]->nb_frames;
    if (frames <= 0) return std::nullopt;
    int64_t first = s.first, last = s.first + frames - 1;
    if (s.range) {
        first = std::max<int64_t>(first, s.range->first);
        last = std::min<int64_t>(last, s.range->last);
    }
    return std::max<int64_t>(last - first + 1, 0);
}

const std::string &VideoSource::path() const { return state_->path; }
int32_t VideoSource::width() const { return state_->width; }
int32_t VideoSource::height() const { return state_->height; }

FrameRate VideoSource::frameRate() const {
    const AVRational rate =
        av_guess_frame_rate(state_->input.get(), state_->input->streams[state_->stream], nullptr);
    if (rate.num <= 0 || rate.den <= 0) return {};
    return {rate.num, rate.den};
}

bool VideoSource::hasAlpha() const {
    return pixelFormatHasAlpha(state_->input->streams[state_->stream]->codecpar->format);
}

// ---------------------------------------------------------------- writing

namespace {

bool containerIs(const AVOutputFormat *format, const char *name) { return std::strcmp(format->name, name) == 0; }

// Whether the container can hold the codec; an unknown answer counts as yes.
bool containerTakes(const AVOutputFormat *format, AVCodecID codec) {
    return avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) != 0;
}

const AVCodec *encoderNamed(const std::string &name) {
    if (const AVCodec *codec = avcodec_find_encoder_by_name(name.c_str())) return codec;
    if (const AVCodecDescriptor *descriptor = avcodec_descriptor_get_by_name(name.c_str()))
        return avcodec_find_encoder(descriptor->id);
    return nullptr;
}

// The container's usual video codec: H.264 where it fits; a lossless codec
// with alpha (PNG in QuickTime, FFV1 in Matroska) for frames with alpha.
const AVCodec *defaultEncoder(const AVOutputFormat *format, bool alpha) {
    if (alpha) {
        if (containerIs(format, "mov")) return avcodec_find_encoder(AV_CODEC_ID_PNG);
        if (containerIs(format, "matroska")) return avcodec_find_encoder(AV_CODEC_ID_FFV1);
        if (containerIs(format, "webm")) return avcodec_find_encoder_by_name("libvpx-vp9");
    }
    if (containerTakes(format, AV_CODEC_ID_H264) && format->video_codec != AV_CODEC_ID_NONE &&
        (containerIs(format, "mp4") || containerIs(format, "mov") || containerIs(format, "matroska") ||
         format->video_codec == AV_CODEC_ID_H264))
        if (const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_H264)) return codec;
    return format->video_codec == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(format->video_codec);
}

// The encoder's pixel format: packed 8-bit RGB(A) when it takes one (exact);
// 4:2:0 for the delivery codecs (what players expect); otherwise the one
// that loses least.
AVPixelFormat chooseEncoderFormat(const AVCodec *codec, bool alpha) {
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

unsigned processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

// libx264 holds every frame of its lookahead, each B-frame, reference and
// thread at several bytes a pixel: with its own defaults a 1920x1080 video
// takes about 500 MB and a 7680x4320 one over 4 GB. Unless the user chooses
// them (or a preset or x264 parameters, which set them too), frames up to
// 1440p get a lookahead of 10 frames, up to 4K one of 5 and fewer threads,
// and larger ones one thread, no lookahead, no B-frames and one reference:
// a render stays under 400 MB at 1080p and 2 GB at 8K.
void addEncoderMemoryDefaults(const AVCodec *codec, int64_t pixels,
                              const std::vector<std::pair<std::string, std::string>> &given,
                              AVDictionary **settings) {
    if (std::strcmp(codec->name, "libx264") != 0) return;
    auto isGiven = [&](const char *key) {
        return std::any_of(given.begin(), given.end(), [&](const auto &option) { return option.first == key; });
    };
    if (isGiven("preset") || isGiven("x264-params") || isGiven("x264opts")) return;
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
    while (pixels > chosen->pixels)
        ++chosen;
    auto set = [&](const char *key, const std::string &value) {
        if (!isGiven(key)) av_dict_set(settings, key, value.c_str(), 0);
    };
    set("threads", std::to_string(std::min(processorCount(), chosen->threads)));
    set("rc-lookahead", chosen->lookahead);
    if (chosen->bframes != nullptr) set("bf", chosen->bframes);
    if (chosen->references != nullptr) set("refs", chosen->references);
}

bool opaqueEverywhere(const host::RgbaImage &image) {
    const uint8_t *pixel = image.pixels.data();
    uint8_t all = 255;
    for (size_t i = 3, n = image.pixels.size(); i < n; i += 4)
        all &= pixel[i];
    return all == 255;
}

} // namespace

struct VideoSink::State {
    std::string path;
    VideoOutputOptions options;
    AtomicFile file;
    const AVOutputFormat *container = nullptr;
    const AVCodec *codec = nullptr;
    AVFormatContext *output = nullptr;
    AVStream *video = nullptr;
    CodecPtr encoder;
    ScalePtr scale;
    AvFramePtr picture{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
    bool headerWritten = false;
    int32_t width = 0, height = 0;
    int64_t nextPts = 0, lastPts = INT64_MIN;
    int64_t offsetMicros = 0; // source time that becomes the output's zero
    bool offsetKnown = false;
    int64_t endMicros = 0; // where the last written video frame ends, output time

    // Copies of the source's other streams, read with a second demuxer.
    InputPtr copyInput;
    std::vector<int> copyMap; // source stream -> output stream, or -1
    PacketPtr copyPacket{av_packet_alloc()};
    bool copyPending = false, copyDone = true;
    bool copyLimited = false; // a frame range: the copies cover only its time

    explicit State(std::string target) : path(target), file(std::move(target)) {}

    // The muxer's bytes go through the atomic writer's checked writes.
    AVIOContext *io = nullptr;
    uint64_t ioPosition = 0;
    std::string ioError; // why the last write failed

    ~State() {
        if (output != nullptr) {
            if (output->pb == io) output->pb = nullptr;
            if (output->pb != nullptr && !(container->flags & AVFMT_NOFILE)) avio_closep(&output->pb);
            avformat_free_context(output);
        }
        closeIo();
    }

    void closeIo() {
        if (io == nullptr) return;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }

    static int ioWrite(void *opaque, uint8_t *data, int size) {
        State &s = *static_cast<State *>(opaque);
        try {
            s.file.writeAt(s.ioPosition, std::string_view(reinterpret_cast<const char *>(data), size_t(size)));
        } catch (const FileError &error) {
            s.ioError = error.reason();
            return AVERROR(EIO);
        }
        s.ioPosition += uint64_t(size);
        return size;
    }

    static int64_t ioSeek(void *opaque, int64_t offset, int whence) {
        State &s = *static_cast<State *>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return int64_t(s.file.size());
        case SEEK_SET: break;
        case SEEK_CUR: offset += int64_t(s.ioPosition); break;
        case SEEK_END: offset += int64_t(s.file.size()); break;
        default: return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        s.ioPosition = uint64_t(offset);
        return offset;
    }

    // A failed write names its own reason; the libraries only pass on a code.
    [[noreturn]] void failWriting(int status) const {
        fail(ioError.empty() ? "cannot write: " + avReason(status) : ioError);
    }

    [[noreturn]] void fail(const std::string &reason) const { throw FileError(path, reason); }

    void warn(const std::string &message) const {
        if (options.warn) options.warn(message);
    }

    void addCopies(bool copy) {
        const VideoSource::State &source = options.copyFrom->state();
        copyLimited = source.range.has_value();
        if (!copy) return;
        copyInput = openInput(source.path);
        copyMap.assign(copyInput->nb_streams, -1);
        for (unsigned i = 0; i < copyInput->nb_streams; ++i) {
            AVStream *in = copyInput->streams[i];
            const AVMediaType type = in->codecpar->codec_type;
            if (static_cast<int>(i) == source.stream || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE)) {
                in->discard = AVDISCARD_ALL;
                continue;
            }
            const char *kind = type == AVMEDIA_TYPE_AUDIO ? "sound" : "subtitle";
            if (!containerTakes(container, in->codecpar->codec_id)) {
                warn(std::string("the ") + kind + " stream " + std::to_string(i) + " (" +
                     avcodec_get_name(in->codecpar->codec_id) + ") does not fit in " + fileNameOf(path) +
                     "'s container; it is left out");
                in->discard = AVDISCARD_ALL;
                continue;
            }
            AVStream *out = avformat_new_stream(output, nullptr);
            if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) fail("out of memory");
            out->codecpar->codec_tag = 0;
            out->time_base = in->time_base;
            out->disposition = in->disposition;
            av_dict_copy(&out->metadata, in->metadata, 0);
            copyMap[i] = out->index;
        }
        copyDone = std::none_of(copyMap.begin(), copyMap.end(), [](int index) { return index >= 0; });
    }

    // Writes the copied streams' packets that start before the given output
    // time (microseconds).
    void copyUntil(int64_t limitMicros) {
        while (!copyDone) {
            if (!copyPending) {
                const int status = av_read_frame(copyInput.get(), copyPacket.get());
                if (status == AVERROR_EOF) {
                    copyDone = true;
                    return;
                }
                if (status < 0)
                    throw FileError(options.copyFrom->path(), "cannot read its sound: " + avReason(status));
                if (copyPacket->stream_index < 0 || copyPacket->stream_index >= static_cast<int>(copyMap.size()) ||
                    copyMap[copyPacket->stream_index] < 0) {
                    av_packet_unref(copyPacket.get());
                    continue;
                }
                copyPending = true;
            }
            AVPacket *packet = copyPacket.get();
            const AVRational from = copyInput->streams[packet->stream_index]->time_base;
            const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            const int64_t at =
                stamp == AV_NOPTS_VALUE ? 0 : av_rescale_q(stamp, from, AV_TIME_BASE_Q) - offsetMicros;
            if (at > limitMicros) return;
            copyPending = false;
            if (copyLimited && (at < 0 || at >= endMicros)) {
                av_packet_unref(packet);
                continue;
            }
            const int64_t shift = av_rescale_q(offsetMicros, AV_TIME_BASE_Q, from);
            if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
            if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
            AVStream *out = output->streams[copyMap[packet->stream_index]];
            av_packet_rescale_ts(packet, from, out->time_base);
            packet->stream_index = out->index;
            packet->pos = -1;
            const int status = av_interleaved_write_frame(output, packet);
            if (status < 0) failWriting(status);
        }
    }

    void open(const Frame &first) {
        width = first.image.width;
        height = first.image.height;
        const bool alpha = options.alpha.value_or(!opaqueEverywhere(first.image));
        if (codec == nullptr) {
            codec = defaultEncoder(container, alpha);
            if (codec == nullptr) fail("no video encoder for this container is available");
        }
        encoder.reset(avcodec_alloc_context3(codec));
        if (!encoder || !picture || !packet) fail("out of memory");
        encoder->width = width;
        encoder->height = height;
        const AVRational rate{options.frameRate.num, options.frameRate.den};
        encoder->framerate = rate;
        encoder->time_base = av_inv_q(rate);
        encoder->thread_count = 0;
        encoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (container->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        AVDictionary *settings = nullptr;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        bool qualityGiven = false;
        for (const auto &[key, value] : options.codecOptions) {
            if (key == "pix_fmt") {
                format = av_get_pix_fmt(value.c_str());
                if (format == AV_PIX_FMT_NONE) fail("unknown pixel format " + value);
                continue;
            }
            if (key == "crf" || key == "qp" || key == "b" || key == "q" || key == "global_quality") qualityGiven = true;
            av_dict_set(&settings, key.c_str(), value.c_str(), 0);
        }
        // Visually lossless unless told otherwise.
        if (!qualityGiven && (std::strcmp(codec->name, "libx264") == 0 || std::strcmp(codec->name, "libx265") == 0))
            av_dict_set(&settings, "crf", "18", 0);
        if (!qualityGiven && std::strcmp(codec->name, "libvpx-vp9") == 0) {
            av_dict_set(&settings, "crf", "20", 0);
            av_dict_set(&settings, "b", "0", 0);
        }
        addEncoderMemoryDefaults(codec, int64_t{width} * height, options.codecOptions, &settings);
        if (format == AV_PIX_FMT_NONE) format = chooseEncoderFormat(codec, alpha);
        if (alpha && !pixelFormatHasAlpha(format))
            warn(std::string("the codec ") + codec->name + " (" + av_get_pix_fmt_name(format) +
                 ") carries no alpha; " + fileNameOf(path) + " is opaque");
        encoder->pix_fmt = format;
        int colourspace = SWS_CS_DEFAULT;
        const bool yuv = !pixelFormatIsRgb(format);
        if (yuv) {
            colourspace = swsColourspace(AVCOL_SPC_UNSPECIFIED, height);
            encoder->colorspace = avColourspace(colourspace);
            encoder->color_primaries = colourspace == SWS_CS_ITU709 ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
            encoder->color_trc = colourspace == SWS_CS_ITU709 ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
            encoder->color_range = AVCOL_RANGE_MPEG;
        }
        int status = avcodec_open2(encoder.get(), codec, &settings);
        if (status < 0) {
            av_dict_free(&settings);
            fail(std::string("cannot open the ") + codec->name + " encoder: " + avReason(status));
        }
        if (const AVDictionaryEntry *unused = av_dict_get(settings, "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
            const std::string key = unused->key;
            av_dict_free(&settings);
            fail(std::string("the ") + codec->name + " encoder has no option " + key);
        }
        av_dict_free(&settings);

        if (avcodec_parameters_from_context(video->codecpar, encoder.get()) < 0) fail("out of memory");
        video->time_base = encoder->time_base;
        video->avg_frame_rate = rate;
        video->r_frame_rate = rate;
        status = avformat_write_header(output, nullptr);
        if (status < 0) failWriting(status);
        headerWritten = true;

        scale.reset(sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, format, SWS_BICUBIC, nullptr,
                                   nullptr, nullptr));
        if (!scale) fail(std::string("cannot convert to pixel format ") + av_get_pix_fmt_name(format));
        if (yuv)
            sws_setColorspaceDetails(scale.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                     sws_getCoefficients(colourspace), 0, 0, 1 << 16, 1 << 16);
        picture->format = format;
        picture->width = width;
        picture->height = height;
        if (av_frame_get_buffer(picture.get(), 0) < 0) fail("out of memory");
    }

    // Sends one frame (or the end, with null) and writes what comes out.
    void encode(AVFrame *frame) {
        int status = avcodec_send_frame(encoder.get(), frame);
        if (status < 0) fail("cannot encode: " + avReason(status));
        for (;;) {
            status = avcodec_receive_packet(encoder.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status < 0) fail("cannot encode: " + avReason(status));
            const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (stamp != AV_NOPTS_VALUE) copyUntil(av_rescale_q(stamp, encoder->time_base, AV_TIME_BASE_Q));
            av_packet_rescale_ts(packet.get(), encoder->time_base, video->time_base);
            packet->stream_index = video->index;
            status = av_interleaved_write_frame(output, packet.get());
            if (status < 0) failWriting(status);
        }
    }

    int64_t timestampOf(const Frame &frame) {
        int64_t pts = nextPts;
        if (frame.timestamp && options.copyFrom != nullptr) {
            const VideoSource::State &source = options.copyFrom->state();
            const AVRational from = source.input->streams[source.stream]->time_base;
            const int64_t micros = av_rescale_q(*frame.timestamp, from, AV_TIME_BASE_Q);
            if (!offsetKnown) {
                const int64_t start = source.input->start_time;
                offsetMicros = source.range || start == AV_NOPTS_VALUE ? micros : std::min(start, micros);
                offsetKnown = true;
            }
            pts = av_rescale_q(micros - offsetMicros, AV_TIME_BASE_Q, encoder->time_base);
        }
        if (lastPts != INT64_MIN && pts <= lastPts) pts = lastPts + 1;
        lastPts = pts;
        nextPts = pts + 1;
        endMicros = av_rescale_q(pts + 1, encoder->time_base, AV_TIME_BASE_Q);
        return pts;
    }
};

VideoSink::VideoSink(std::string path, VideoOutputOptions options) {
    quietLibraries();
    const AVOutputFormat *container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (container == nullptr)
        throw FileError(path, "cannot tell the video format from the file name; end it in .mp4, .mov, .mkv or "
                              "another container's extension, or give a sequence pattern such as out/%04d.png");
    if (container->video_codec == AV_CODEC_ID_NONE && options.codec.empty())
        throw FileError(path, std::string("the ") + container->name + " format holds no video");
    if (options.frameRate.num <= 0 || options.frameRate.den <= 0) throw FileError(path, "the frame rate is unknown");
    const AVCodec *codec = nullptr;
    if (!options.codec.empty()) {
        codec = encoderNamed(options.codec);
        if (codec == nullptr) throw FileError(path, "no video encoder named " + options.codec);
        if (codec->type != AVMEDIA_TYPE_VIDEO) throw FileError(path, options.codec + " is not a video codec");
        if (!containerTakes(container, codec->id))
            throw FileError(path, std::string("the codec ") + codec->name + " cannot be stored in the " +
                                      container->name + " format");
    }
    state_ = std::make_unique<State>(path);
    State &s = *state_;
    s.options = std::move(options);
    s.container = container;
    s.codec = codec;
    // A container that writes its own files gets the temporary file's name.
    if (container->flags & AVFMT_NOFILE) s.file.handOver();
    int status = avformat_alloc_output_context2(&s.output, container, nullptr, s.file.temporaryPath().c_str());
    if (status < 0 || s.output == nullptr) s.fail("cannot write: " + avReason(status));
    s.video = avformat_new_stream(s.output, nullptr);
    if (s.video == nullptr) s.fail("out of memory");
    if (s.options.copyFrom != nullptr) s.addCopies(s.options.copyStreams);
    if (!(container->flags & AVFMT_NOFILE)) {
        constexpr int kBufferSize = 1 << 18;
        auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
        s.io = buffer == nullptr ? nullptr
                                 : avio_alloc_context(buffer, kBufferSize, 1, &s, nullptr, &State::ioWrite,
                                                      &State::ioSeek);
        if (s.io == nullptr) {
            av_free(buffer);
            s.fail("out of memory");
        }
        s.output->pb = s.io;
    }
}

VideoSink::~VideoSink() = default;

void VideoSink::write(const Frame &frame) {
    State &s = *state_;
    if (!s.headerWritten) s.open(frame);
    if (frame.image.width != s.width || frame.image.height != s.height)
        s.fail("frame " + std::to_string(frame.number) + " is " + std::to_string(frame.image.width) + "x" +
               std::to_string(frame.image.height) + ", but the video is " + std::to_string(s.width) + "x" +
               std::to_string(s.height));
    if (av_frame_make_writable(s.picture.get()) < 0) s.fail("out of memory");
    const uint8_t *source[4] = {frame.image.pixels.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {s.width * 4, 0, 0, 0};
    sws_scale(s.scale.get(), source, stride, 0, s.height, s.picture->data, s.picture->linesize);
    s.picture->pts = s.timestampOf(frame);
    s.encode(s.picture.get());
}

void VideoSink::finish() {
    State &s = *state_;
    if (!s.headerWritten) s.fail("no frames to write");
    s.encode(nullptr);
    s.copyUntil(s.copyLimited ? s.endMicros : INT64_MAX);
    int status = av_write_trailer(s.output);
    if (status < 0) s.failWriting(status);
    if (s.io != nullptr) {
        avio_flush(s.io);
        const int error = s.io->error;
        s.output->pb = nullptr;
        s.closeIo();
        if (error < 0) s.failWriting(error);
    }
    s.file.commit();
}

} // namespace kivo::media
