#include "host/media/video_source.h"

extern "C" {
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>

#include "host/core/frame_buffer.h"
#include "host/core/pixel_layout.h"
#include "host/media/atomic_file.h"
#include "host/media/av_handles.h"
#include "host/media/raw_stream.h"

namespace kivo::media {
namespace {

bool pixelFormatHasAlpha(int format) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool pixelFormatIsRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

// The colour matrix of a frame: the one it is tagged with, or the usual one
// for its height when it says nothing.
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

// The codec of a stream no decoder takes, for the message: its name, or
// the four characters the file gives it.
std::string codecName(const AVCodecParameters &parameters) {
    if (parameters.codec_id != AV_CODEC_ID_NONE) return avcodec_get_name(parameters.codec_id);
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    av_fourcc_make_string(tag, parameters.codec_tag);
    return std::string("unknown codec ") + tag;
}

} // namespace

FrameRate frameRateOf(double fps) {
    const AVRational rate = av_d2q(fps, 1000000);
    return {rate.num, rate.den};
}

class VideoSource::Decoder {
public:
    Decoder(std::string path, int32_t first, std::optional<FrameRange> range);

    // The next decoded frame of the range in decoded(); false after the last.
    bool nextInRange();
    // Converts the decoded frame into frame, then lets it go.
    void convert(Frame &frame);

    std::optional<int64_t> declaredFrames() const;
    const AVStream *video() const { return input_->streams[stream_]; }
    const AVFormatContext *input() const { return input_.get(); }
    const std::string &path() const { return path_; }
    int stream() const { return stream_; }
    bool partial() const { return range_.has_value(); }
    int64_t number() const { return int64_t{first_} + index_; }
    std::optional<FrameRange> range() const { return range_; }
    int32_t first() const { return first_; }

private:
    const AVCodec *findVideoStream();
    void openDecoder(const AVCodec *codec);
    bool decodeNext();
    void checkDecoded() const;
    void checkComplete() const;
    std::string frameName() const { return "frame " + std::to_string(number()); }

    std::string path_;
    int32_t first_;
    std::optional<FrameRange> range_;
    InputPtr input_;
    int stream_ = -1;
    CodecPtr decoder_;
    PacketPtr packet_{av_packet_alloc()};
    AvFramePtr decoded_{av_frame_alloc()};
    ScalePtr scale_;
    int64_t index_ = 0;   // frames decoded so far
    int32_t current_ = 0; // the number of the frame in decoded_
    bool finished_ = false;
    int32_t width_ = 0, height_ = 0;
};

VideoSource::Decoder::Decoder(std::string path, int32_t first, std::optional<FrameRange> range)
    : path_(std::move(path)), first_(first), range_(range) {
    if (!packet_ || !decoded_) throw FileError(path_, "out of memory");
    input_ = openInput(path_);
    openDecoder(findVideoStream());
    // Other streams are not decoded; the demuxer can drop their packets early.
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) input_->streams[i]->discard = AVDISCARD_ALL;
}

// The best video stream and its decoder; throws when there is none.
const AVCodec *VideoSource::Decoder::findVideoStream() {
    const AVCodec *codec = nullptr;
    const int found = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (found == AVERROR_STREAM_NOT_FOUND) throw FileError(path_, "has no video stream");
    if (found < 0 || codec == nullptr) {
        // The stream is there, but no decoder takes its codec.
        const int any = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const std::string what = any >= 0 ? codecName(*input_->streams[any]->codecpar) : avReason(found);
        throw FileError(path_, "cannot decode its video (" + what + ")");
    }
    stream_ = found;
    const AVCodecParameters *parameters = input_->streams[stream_]->codecpar;
    if (parameters->width <= 0 || parameters->height <= 0) throw FileError(path_, "the video has no frame size");
    if (int64_t{parameters->width} * parameters->height > kMaxFramePixels)
        throw FileError(path_, "the video is too large (" + std::to_string(parameters->width) + "x" +
                                   std::to_string(parameters->height) + ")");
    width_ = parameters->width;
    height_ = parameters->height;
    return codec;
}

void VideoSource::Decoder::openDecoder(const AVCodec *codec) {
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), input_->streams[stream_]->codecpar) < 0)
        throw FileError(path_, "out of memory");
    // Slice threads on every core. Frame threads would each hold frames of
    // their own (about 20 MB at 1080p, 200 MB at 8K) while the filter and
    // the encoder keep the cores busy already.
    decoder_->thread_count = 0;
    decoder_->thread_type = FF_THREAD_SLICE;
    decoder_->pkt_timebase = input_->streams[stream_]->time_base;
    // A damaged frame is an error, not a frame quietly patched up.
    decoder_->err_recognition |= AV_EF_EXPLODE;
    const int status = avcodec_open2(decoder_.get(), codec, nullptr);
    if (status < 0)
        throw FileError(path_, std::string("cannot decode its video (") + codec->name + "): " + avReason(status));
}

// The next decoded frame into decoded_; false at the end of the stream.
bool VideoSource::Decoder::decodeNext() {
    for (;;) {
        int status = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (status == 0) return true;
        if (status == AVERROR_EOF) return false;
        if (status != AVERROR(EAGAIN)) throw FileError(path_, frameName() + ": " + avReason(status));
        status = av_read_frame(input_.get(), packet_.get());
        if (status == AVERROR_EOF) {
            if (input_->pb != nullptr && input_->pb->error < 0)
                throw FileError(path_, "cannot read: " + avReason(input_->pb->error));
            status = avcodec_send_packet(decoder_.get(), nullptr); // drain
            if (status < 0 && status != AVERROR_EOF) throw FileError(path_, frameName() + ": " + avReason(status));
            continue;
        }
        if (status < 0) throw FileError(path_, "cannot read " + frameName() + ": " + avReason(status));
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        const bool damaged = (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
        status = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (damaged) throw FileError(path_, frameName() + " is damaged or cut short");
        if (status < 0 && status != AVERROR(EAGAIN))
            throw FileError(path_, "cannot decode " + frameName() + ": " + avReason(status));
    }
}

void VideoSource::Decoder::checkDecoded() const {
    const AVFrame *decoded = decoded_.get();
    if ((decoded->flags & AV_FRAME_FLAG_CORRUPT) != 0 || decoded->decode_error_flags != 0)
        throw FileError(path_, frameName() + " is damaged");
    if (decoded->width != width_ || decoded->height != height_)
        throw FileError(path_, frameName() + " is " + std::to_string(decoded->width) + "x" +
                                   std::to_string(decoded->height) + ", but the video is " + std::to_string(width_) +
                                   "x" + std::to_string(height_));
    if (number() > INT32_MAX) throw FileError(path_, "frame numbers run past " + std::to_string(INT32_MAX));
}

bool VideoSource::Decoder::nextInRange() {
    while (!finished_) {
        if (!decodeNext()) {
            finished_ = true;
            checkComplete();
            return false;
        }
        checkDecoded();
        current_ = static_cast<int32_t>(number());
        ++index_;
        if (range_ && current_ > range_->last) finished_ = true;
        if (!range_ || (current_ >= range_->first && current_ <= range_->last)) return true;
        av_frame_unref(decoded_.get());
    }
    return false;
}

void VideoSource::Decoder::convert(Frame &frame) {
    AVFrame *decoded = decoded_.get();
    const auto format = static_cast<AVPixelFormat>(decoded->format);
    scale_.reset(sws_getCachedContext(scale_.release(), width_, height_, format, width_, height_, AV_PIX_FMT_RGBA,
                                      SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scale_)
        throw FileError(path_, std::string("cannot convert pixel format ") +
                                   (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?"));
    if (!pixelFormatIsRgb(format)) {
        const int colourspace = swsColourspace(decoded->colorspace, height_);
        sws_setColorspaceDetails(scale_.get(), sws_getCoefficients(colourspace),
                                 decoded->color_range == AVCOL_RANGE_JPEG, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
    }
    const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    if (frame.image.width != width_ || frame.image.height != height_ || frame.image.pixels.size() != bytes) {
        frame.image.width = width_;
        frame.image.height = height_;
        host::reserveFrameBuffer(frame.image.pixels, bytes);
        frame.image.pixels.resize(bytes);
    }
    uint8_t *target[4] = {frame.image.pixels.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {width_ * 4, 0, 0, 0};
    if (sws_scale(scale_.get(), decoded->data, decoded->linesize, 0, height_, target, stride) < 0)
        throw FileError(path_, "cannot convert frame " + std::to_string(current_));
    // Some conversions leave alpha unset; a frame without alpha is opaque.
    if (!pixelFormatHasAlpha(format)) host::makeOpaque(frame.image.pixels.data(), frame.image.pixels.size() / 4);
    frame.number = current_;
    frame.sampleType = "uint8";
    frame.deep.clear();
    const int64_t stamp = decoded->best_effort_timestamp;
    frame.timestamp = stamp == AV_NOPTS_VALUE
                          ? std::nullopt
                          : std::optional<int64_t>(av_rescale_q(stamp, video()->time_base, AV_TIME_BASE_Q));
    av_frame_unref(decoded);
}

// How many frames the file says the stream has: its frame count, or its
// length at its frame rate; nothing when it does not say.
std::optional<int64_t> VideoSource::Decoder::declaredFrames() const {
    const AVStream *stream = video();
    if (stream->nb_frames > 0) return stream->nb_frames;
    const AVRational rate = av_guess_frame_rate(input_.get(), const_cast<AVStream *>(stream), nullptr);
    if (rate.num <= 0 || rate.den <= 0) return std::nullopt;
    int64_t micros = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        micros = av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q);
    else if (const AVDictionaryEntry *tag = av_dict_get(stream->metadata, "DURATION", nullptr, 0))
        av_parse_time(&micros, tag->value, 1);
    else if (input_->nb_streams == 1 && input_->duration != AV_NOPTS_VALUE)
        micros = input_->duration;
    if (micros <= 0) return std::nullopt;
    return av_rescale_q(micros, AV_TIME_BASE_Q, av_inv_q(rate));
}

// At the end of the stream: a file that stops well before the length it
// declares was cut short.
void VideoSource::Decoder::checkComplete() const {
    const std::optional<int64_t> declared = declaredFrames();
    if (!declared) return;
    const int64_t slack = video()->nb_frames > 0 ? 0 : std::max<int64_t>(2, *declared / 50);
    if (index_ + slack < *declared)
        throw FileError(path_, "the video ends after " + std::to_string(index_) + " of its " +
                                   std::to_string(*declared) + " frames; it is cut short or damaged");
}

VideoSource::VideoSource(std::string path, int32_t first, std::optional<FrameRange> range)
    : decoder_(std::make_unique<Decoder>(std::move(path), first, range)) {}

VideoSource::~VideoSource() = default;

bool VideoSource::next(Frame &frame) {
    if (!decoder_->nextInRange()) return false;
    decoder_->convert(frame);
    return true;
}

std::optional<int64_t> VideoSource::count() const {
    const int64_t frames = decoder_->video()->nb_frames;
    if (frames <= 0) return std::nullopt;
    int64_t first = decoder_->first(), last = first + frames - 1;
    if (const std::optional<FrameRange> range = decoder_->range()) {
        first = std::max<int64_t>(first, range->first);
        last = std::min<int64_t>(last, range->last);
    }
    return std::max<int64_t>(last - first + 1, 0);
}

const std::string &VideoSource::path() const { return decoder_->path(); }

FrameRate VideoSource::frameRate() const {
    const AVRational rate = av_guess_frame_rate(const_cast<AVFormatContext *>(decoder_->input()),
                                                const_cast<AVStream *>(decoder_->video()), nullptr);
    if (rate.num <= 0 || rate.den <= 0) return {};
    return {rate.num, rate.den};
}

bool VideoSource::hasAlpha() const { return pixelFormatHasAlpha(decoder_->video()->codecpar->format); }

VideoOrigin VideoSource::origin() const {
    VideoOrigin origin;
    origin.path = decoder_->path();
    origin.videoStream = decoder_->stream();
    const int64_t start = decoder_->input()->start_time;
    if (start != AV_NOPTS_VALUE) origin.startMicros = start;
    origin.partial = decoder_->partial();
    return origin;
}

int64_t VideoSource::frameTotal() const {
    if (decoder_->video()->nb_frames > 0) return decoder_->video()->nb_frames;
    // A second reader, so that this one stays where it is.
    const InputPtr input = openInput(decoder_->path());
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw FileError(decoder_->path(), "out of memory");
    int64_t frames = 0;
    for (;;) {
        const int status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) throw FileError(decoder_->path(), "cannot read: " + avReason(status));
        if (packet->stream_index == decoder_->stream()) ++frames;
        av_packet_unref(packet.get());
    }
    return frames;
}

} // namespace kivo::media
