#include "host/media/video_sink.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "host/media/atomic_file.h"
#include "host/media/av_handles.h"
#include "host/media/stream_copy.h"

namespace kivo::media {
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

bool opaqueEverywhere(const host::RgbaImage &image) {
    const uint8_t *pixel = image.pixels.data();
    uint8_t all = 255;
    for (size_t i = 3, n = image.pixels.size(); i < n; i += 4)
        all &= pixel[i];
    return all == 255;
}

// An output context; its byte stream belongs to whoever made it.
struct OutputDeleter {
    void operator()(AVFormatContext *output) const {
        output->pb = nullptr;
        avformat_free_context(output);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

// The muxer's bytes go through the atomic writer's checked writes.
class AtomicIo {
public:
    explicit AtomicIo(AtomicFile &file) : file_(file) {
        constexpr int kBufferSize = 1 << 18;
        auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
        context_ = buffer == nullptr ? nullptr
                                     : avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &AtomicIo::write,
                                                          &AtomicIo::seek);
        if (context_ == nullptr) {
            av_free(buffer);
            throw FileError(file.target(), "out of memory");
        }
    }
    ~AtomicIo() {
        av_freep(&context_->buffer);
        avio_context_free(&context_);
    }
    AtomicIo(const AtomicIo &) = delete;
    AtomicIo &operator=(const AtomicIo &) = delete;

    AVIOContext *context() const { return context_; }
    // Why the last write failed; empty when none did.
    const std::string &error() const { return error_; }

private:
    static int write(void *opaque, uint8_t *data, int size) {
        AtomicIo &io = *static_cast<AtomicIo *>(opaque);
        try {
            io.file_.writeAt(io.position_, std::string_view(reinterpret_cast<const char *>(data), size_t(size)));
        } catch (const FileError &error) {
            io.error_ = error.reason();
            return AVERROR(EIO);
        }
        io.position_ += uint64_t(size);
        return size;
    }

    static int64_t seek(void *opaque, int64_t offset, int whence) {
        AtomicIo &io = *static_cast<AtomicIo *>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return int64_t(io.file_.size());
        case SEEK_SET: break;
        case SEEK_CUR: offset += int64_t(io.position_); break;
        case SEEK_END: offset += int64_t(io.file_.size()); break;
        default: return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        io.position_ = uint64_t(offset);
        return offset;
    }

    AtomicFile &file_;
    AVIOContext *context_ = nullptr;
    uint64_t position_ = 0;
    std::string error_;
};

// Sets KEY=VALUE options of a library object (an encoder or a muxer, and
// their own options); throws naming the first it has not or does not take.
void setOptions(void *object, const CodecOptions &options, const std::string &owner, const std::string &path) {
    for (const auto &[key, value] : options) {
        const int status = av_opt_set(object, key.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
        if (status == AVERROR_OPTION_NOT_FOUND) throw FileError(path, owner + " has no option " + key);
        if (status < 0)
            throw FileError(path, owner + "'s option " + key + " does not take \"" + value + "\" (" +
                                      avReason(status) + ")");
    }
}

// The container's options: the user's, and the index of an MP4 or
// QuickTime file at its front, where players find it before the frames.
CodecOptions formatOptionsOf(const AVOutputFormat *container, const CodecOptions &given) {
    CodecOptions options = given;
    const bool movflags = std::any_of(given.begin(), given.end(), [](const auto &o) { return o.first == "movflags"; });
    if (!movflags && (containerIs(container, "mp4") || containerIs(container, "mov")))
        options.emplace_back("movflags", "+faststart");
    return options;
}

void copyTags(AVDictionary **into, const std::vector<std::pair<std::string, std::string>> &tags) {
    for (const auto &[key, value] : tags)
        if (key != "encoder") av_dict_set(into, key.c_str(), value.c_str(), 0);
}

bool interlaced(int fieldOrder) { return fieldOrder > AV_FIELD_PROGRESSIVE; }

// Checks the container and the codec the user asked for; the codec, or
// null for the container's default. Throws FileError.
const AVCodec *checkedCodec(const std::string &path, const AVOutputFormat *container,
                            const VideoOutputOptions &options) {
    if (container == nullptr)
        throw FileError(path, "cannot tell the video format from the file name; end it in .mp4, .mov, .mkv or "
                              "another container's extension, or give a sequence pattern such as out/%04d.png");
    if (container->video_codec == AV_CODEC_ID_NONE && options.codec.empty())
        throw FileError(path, std::string("the ") + container->name +
                                  " format holds no video; video formats include .mp4, .mov, .mkv, .webm and .avi, "
                                  "or give a sequence pattern such as out/%04d.png");
    if (options.frameRate.num <= 0 || options.frameRate.den <= 0) throw FileError(path, "the frame rate is unknown");
    if (options.codec.empty()) return nullptr;
    const AVCodec *codec = encoderNamed(options.codec);
    if (codec == nullptr) throw FileError(path, "no video encoder named " + options.codec);
    if (codec->type != AVMEDIA_TYPE_VIDEO) throw FileError(path, options.codec + " is not a video codec");
    if (!containerTakes(container, codec->id))
        throw FileError(path, std::string("the codec ") + codec->name + " cannot be stored in the " +
                                  container->name + " format");
    return codec;
}

} // namespace

class VideoSink::Writer {
public:
    Writer(std::string path, VideoOutputOptions options, const AVOutputFormat *container, const AVCodec *codec);

    void write(const Frame &frame);
    void finish();

private:
    void open(const Frame &first);
    AVPixelFormat openEncoder(bool alpha);
    void tagColours();
    void describeFrames();
    void convertFrom(AVPixelFormat format);
    void encode(AVFrame *frame);
    int64_t timestampOf(const Frame &frame);
    void copyUntil(int64_t limitMicros);
    void writePacket(AVPacket *packet);

    [[noreturn]] void fail(const std::string &reason) const { throw FileError(path_, reason); }
    // A failed write names its own reason; the libraries only pass on a code.
    [[noreturn]] void failWriting(int status) const {
        fail(io_ && !io_->error().empty() ? io_->error() : "cannot write: " + avReason(status));
    }
    void warn(const std::string &message) const {
        if (options_.warn) options_.warn(message);
    }

    std::string path_;
    VideoOutputOptions options_;
    AtomicFile file_;
    const AVOutputFormat *container_;
    const AVCodec *codec_;
    OutputPtr output_;
    std::unique_ptr<AtomicIo> io_;
    AVStream *video_ = nullptr;
    std::optional<StreamCopy> copy_;
    CodecPtr encoder_;
    ScalePtr scale_;
    AvFramePtr picture_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    bool headerWritten_ = false, yuv_ = false;
    int32_t width_ = 0, height_ = 0;
    int64_t nextPts_ = 0, lastPts_ = INT64_MIN;
    std::optional<int64_t> offsetMicros_; // source time that becomes the output's zero
    int64_t endMicros_ = 0;               // where the last written video frame ends, output time
};

VideoSink::Writer::Writer(std::string path, VideoOutputOptions options, const AVOutputFormat *container,
                          const AVCodec *codec)
    : path_(path), options_(std::move(options)), file_(std::move(path)), container_(container), codec_(codec) {
    // A container that writes its own files gets the temporary file's name.
    if (container->flags & AVFMT_NOFILE) file_.handOver();
    AVFormatContext *output = nullptr;
    const int status = avformat_alloc_output_context2(&output, container, nullptr, file_.temporaryPath().c_str());
    output_.reset(output);
    if (status < 0 || output == nullptr) fail("cannot write: " + avReason(status));
    setOptions(output, formatOptionsOf(container, options_.formatOptions),
               std::string("the ") + container->name + " format", path_);
    video_ = avformat_new_stream(output, nullptr);
    if (video_ == nullptr || !picture_ || !packet_) fail("out of memory");
    if (options_.origin) {
        copyTags(&output->metadata, options_.origin->containerTags);
        copyTags(&video_->metadata, options_.origin->videoTags);
    }
    if (options_.origin && options_.copyStreams)
        copy_.emplace(CopySource{options_.origin->path, options_.origin->videoStream, options_.audioCodec}, output,
                      path_, [this](const std::string &message) { warn(message); },
                      [this](const std::string &message) {
                          if (options_.note) options_.note(message);
                      });
    if (!(container->flags & AVFMT_NOFILE)) {
        io_ = std::make_unique<AtomicIo>(file_);
        output_->pb = io_->context();
    }
}

// The encoder for frames with or without alpha, opened with the policy's
// settings; its pixel format.
AVPixelFormat VideoSink::Writer::openEncoder(bool alpha) {
    if (codec_ == nullptr) codec_ = defaultEncoder(container_, alpha);
    if (codec_ == nullptr) fail("no video encoder for this container is available");
    encoder_.reset(avcodec_alloc_context3(codec_));
    if (!encoder_) fail("out of memory");
    EncoderSetup setup;
    try {
        setup = encoderPolicy({codec_->name, width_, height_, alpha, options_.codecOptions,
                               std::max(1u, std::thread::hardware_concurrency())});
    } catch (const std::invalid_argument &error) {
        fail(error.what());
    }
    if (const std::string problem = sizeProblem(codec_->name, setup.pixelFormat, width_, height_); !problem.empty())
        fail(problem);
    const AVPixelFormat format = av_get_pix_fmt(setup.pixelFormat.c_str());
    if (alpha && !setup.keepsAlpha)
        warn(std::string("the codec ") + codec_->name + " (" + setup.pixelFormat + ") carries no alpha; " +
             fileNameOf(path_) + " is opaque");
    encoder_->width = width_;
    encoder_->height = height_;
    encoder_->pix_fmt = format;
    encoder_->framerate = AVRational{options_.frameRate.num, options_.frameRate.den};
    encoder_->time_base = av_inv_q(encoder_->framerate);
    encoder_->thread_count = 0;
    encoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (container_->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
        descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0)
        tagColours();
    describeFrames();
    setOptions(encoder_.get(), setup.options, std::string("the ") + codec_->name + " encoder", path_);
    const int status = avcodec_open2(encoder_.get(), codec_, nullptr);
    if (status < 0) fail(std::string("cannot open the ") + codec_->name + " encoder: " + avReason(status));
    return format;
}

// YUV's colour tags: the source video's, where it gives them; else what
// players take YUV without a tag for, BT.601 below 720 rows, BT.709 from there.
void VideoSink::Writer::tagColours() {
    yuv_ = true;
    const bool hd = height_ >= 720;
    encoder_->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    encoder_->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    encoder_->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    encoder_->color_range = AVCOL_RANGE_MPEG;
    if (!options_.origin) return;
    const VideoOrigin &origin = *options_.origin;
    if (origin.matrix != AVCOL_SPC_UNSPECIFIED && origin.matrix != AVCOL_SPC_RGB)
        encoder_->colorspace = static_cast<AVColorSpace>(origin.matrix);
    if (origin.primaries != AVCOL_PRI_UNSPECIFIED)
        encoder_->color_primaries = static_cast<AVColorPrimaries>(origin.primaries);
    if (origin.transfer != AVCOL_TRC_UNSPECIFIED)
        encoder_->color_trc = static_cast<AVColorTransferCharacteristic>(origin.transfer);
    if (origin.range == AVCOL_RANGE_JPEG) encoder_->color_range = AVCOL_RANGE_JPEG;
}

// The source video's sample aspect ratio and field order.
void VideoSink::Writer::describeFrames() {
    if (!options_.origin) return;
    const VideoOrigin &origin = *options_.origin;
    if (origin.sampleAspectNum > 0) encoder_->sample_aspect_ratio = {origin.sampleAspectNum, origin.sampleAspectDen};
    encoder_->field_order = static_cast<AVFieldOrder>(origin.fieldOrder);
    // Encoders that code fields apart (H.264, MPEG-2) do so for interlaced frames.
    if (interlaced(origin.fieldOrder) && (codec_->id == AV_CODEC_ID_H264 || codec_->id == AV_CODEC_ID_MPEG2VIDEO))
        encoder_->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    picture_->interlaced_frame = interlaced(origin.fieldOrder) ? 1 : 0;
    picture_->top_field_first = origin.fieldOrder == AV_FIELD_TT || origin.fieldOrder == AV_FIELD_TB ? 1 : 0;
}

// The conversion from the host's RGBA frames into the encoder's format.
void VideoSink::Writer::convertFrom(AVPixelFormat format) {
    scale_.reset(sws_getContext(width_, height_, AV_PIX_FMT_RGBA, width_, height_, format, SWS_BICUBIC, nullptr,
                                nullptr, nullptr));
    if (!scale_) fail(std::string("cannot convert to pixel format ") + av_get_pix_fmt_name(format));
    if (yuv_) {
        const int matrix = swsColourspace(encoder_->colorspace, height_);
        sws_setColorspaceDetails(scale_.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(matrix),
                                 encoder_->color_range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
    }
    picture_->format = format;
    picture_->width = width_;
    picture_->height = height_;
    if (av_frame_get_buffer(picture_.get(), 0) < 0) fail("out of memory");
}

void VideoSink::Writer::open(const Frame &first) {
    width_ = first.image.width;
    height_ = first.image.height;
    const AVPixelFormat format = openEncoder(options_.alpha.value_or(!opaqueEverywhere(first.image)));
    if (avcodec_parameters_from_context(video_->codecpar, encoder_.get()) < 0) fail("out of memory");
    video_->time_base = encoder_->time_base;
    video_->avg_frame_rate = encoder_->framerate;
    video_->r_frame_rate = encoder_->framerate;
    video_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    if (options_.origin && options_.origin->displayMatrix) {
        uint8_t *matrix = av_stream_new_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t));
        if (matrix == nullptr) fail("out of memory");
        std::memcpy(matrix, options_.origin->displayMatrix->data(), 9 * sizeof(int32_t));
    }
    const int status = avformat_write_header(output_.get(), nullptr);
    if (status < 0) failWriting(status);
    headerWritten_ = true;
    convertFrom(format);
}

void VideoSink::Writer::writePacket(AVPacket *packet) {
    const int status = av_interleaved_write_frame(output_.get(), packet);
    if (status < 0) failWriting(status);
}

// Writes the copied streams' packets that start before the given output time.
void VideoSink::Writer::copyUntil(int64_t limitMicros) {
    if (!copy_) return;
    CopySpan span;
    span.offsetMicros = offsetMicros_.value_or(0);
    if (options_.origin->partial) span.endMicros = endMicros_;
    copy_->copyUntil(limitMicros, span, [this](AVPacket *packet) { writePacket(packet); });
}

// Sends one frame (or the end, with null) and writes what comes out.
void VideoSink::Writer::encode(AVFrame *frame) {
    int status = avcodec_send_frame(encoder_.get(), frame);
    if (status < 0) fail("cannot encode: " + avReason(status));
    for (;;) {
        status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        if (status < 0) fail("cannot encode: " + avReason(status));
        const int64_t stamp = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
        if (stamp != AV_NOPTS_VALUE) copyUntil(av_rescale_q(stamp, encoder_->time_base, AV_TIME_BASE_Q));
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, video_->time_base);
        packet_->stream_index = video_->index;
        writePacket(packet_.get());
    }
}

// A frame's time in the encoder's time base: the source video's time line
// from the first frame written (or the file's start), else one frame after
// another; never earlier than the frame before.
int64_t VideoSink::Writer::timestampOf(const Frame &frame) {
    int64_t pts = nextPts_;
    if (frame.timestamp && options_.origin) {
        const int64_t micros = *frame.timestamp;
        if (!offsetMicros_) {
            const std::optional<int64_t> start = options_.origin->startMicros;
            offsetMicros_ = options_.origin->partial || !start ? micros : std::min(*start, micros);
        }
        pts = av_rescale_q(micros - *offsetMicros_, AV_TIME_BASE_Q, encoder_->time_base);
    }
    if (lastPts_ != INT64_MIN && pts <= lastPts_) pts = lastPts_ + 1;
    lastPts_ = pts;
    nextPts_ = pts + 1;
    endMicros_ = av_rescale_q(pts + 1, encoder_->time_base, AV_TIME_BASE_Q);
    return pts;
}

void VideoSink::Writer::write(const Frame &frame) {
    if (!headerWritten_) open(frame);
    if (frame.image.width != width_ || frame.image.height != height_)
        fail("frame " + std::to_string(frame.number) + " is " + std::to_string(frame.image.width) + "x" +
             std::to_string(frame.image.height) + ", but the video is " + std::to_string(width_) + "x" +
             std::to_string(height_));
    if (av_frame_make_writable(picture_.get()) < 0) fail("out of memory");
    const uint8_t *source[4] = {frame.image.pixels.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {width_ * 4, 0, 0, 0};
    if (sws_scale(scale_.get(), source, stride, 0, height_, picture_->data, picture_->linesize) < 0)
        fail("cannot convert frame " + std::to_string(frame.number));
    picture_->pts = timestampOf(frame);
    encode(picture_.get());
}

void VideoSink::Writer::finish() {
    if (!headerWritten_) fail("no frames to write");
    encode(nullptr);
    copyUntil(options_.origin && options_.origin->partial ? endMicros_ : INT64_MAX);
    if (copy_) copy_->finish([this](AVPacket *packet) { writePacket(packet); });
    int status = av_write_trailer(output_.get());
    if (status < 0) failWriting(status);
    if (io_) {
        avio_flush(io_->context());
        status = io_->context()->error;
        output_->pb = nullptr;
        if (status < 0) failWriting(status);
    }
    file_.commit();
}

VideoSink::VideoSink(std::string path, VideoOutputOptions options) {
    quietLibraries();
    const AVOutputFormat *container = av_guess_format(nullptr, path.c_str(), nullptr);
    const AVCodec *codec = checkedCodec(path, container, options);
    prepareOutputDirectory(directoryOf(path));
    writer_ = std::make_unique<Writer>(std::move(path), std::move(options), container, codec);
}

VideoSink::~VideoSink() = default;

void VideoSink::write(const Frame &frame) { writer_->write(frame); }

void VideoSink::finish() { writer_->finish(); }

} // namespace kivo::media
