#include "host/media/video_source.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cstring>

#include "host/core/frame_buffer.h"
#include "host/core/pixel_layout.h"
#include "host/media/atomic_file.h"
#include "host/media/av_handles.h"
#include "host/media/orientation.h"
#include "host/media/raw_stream.h"
#include "host/media/video_index.h"

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

int pixelFormatBits(int format) {
    const AVPixFmtDescriptor *descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return descriptor == nullptr || descriptor->nb_components == 0 ? 8 : descriptor->comp[0].depth;
}

// The codec of a stream no decoder takes, for the message: its name, or
// the four characters the file gives it.
std::string codecName(const AVCodecParameters &parameters) {
    if (parameters.codec_id != AV_CODEC_ID_NONE) return avcodec_get_name(parameters.codec_id);
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    av_fourcc_make_string(tag, parameters.codec_tag);
    return std::string("unknown codec ") + tag;
}

bool isCoverPicture(const AVStream *stream) { return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }

// FFmpeg's own VP8 and VP9 decoders drop the alpha that WebM keeps beside
// the picture; libvpx's decode it.
const AVCodec *alphaDecoder(const AVStream *stream) {
    const AVDictionaryEntry *alpha = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0);
    if (alpha == nullptr || std::strcmp(alpha->value, "1") != 0) return nullptr;
    if (stream->codecpar->codec_id == AV_CODEC_ID_VP9) return avcodec_find_decoder_by_name("libvpx-vp9");
    if (stream->codecpar->codec_id == AV_CODEC_ID_VP8) return avcodec_find_decoder_by_name("libvpx");
    return nullptr;
}

const int32_t *displayMatrixOf(const AVStream *stream) {
    size_t size = 0;
    const uint8_t *data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data != nullptr && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t *>(data) : nullptr;
}

// Demuxers that index every packet of a stream, edit lists applied.
bool indexesEveryPacket(const AVFormatContext *input) { return std::strstr(input->iformat->name, "mov") != nullptr; }

// How far ahead a wanted frame must lie for a seek: closer ones are decoded to.
constexpr int64_t kSeekDistance = 1;

} // namespace

FrameRate frameRateOf(double fps) {
    const AVRational rate = av_d2q(fps, 1000000);
    return {rate.num, rate.den};
}

class VideoSource::Decoder {
public:
    Decoder(std::string path, int32_t first, std::vector<FrameRange> wanted, VideoReadOptions options);

    // The next wanted frame in decoded(); false after the last.
    bool nextWanted();
    // Converts the decoded frame into frame, then lets it go.
    void convert(Frame &frame);

    int64_t frameTotal();
    std::optional<int64_t> wantedCount();
    const AVStream *video() const { return input_->streams[stream_]; }
    const AVFormatContext *input() const { return input_.get(); }
    const std::string &path() const { return path_; }
    int stream() const { return stream_; }
    bool partial() const { return partial_; }
    bool hasAlpha() const { return alpha_; }
    const DisplayTurn &turn() const { return turn_; }
    int32_t outWidth() const { return turn_.orientation.transpose ? height_ : width_; }
    int32_t outHeight() const { return turn_.orientation.transpose ? width_ : height_; }
    const AVCodecContext *codec() const { return decoder_.get(); }

private:
    void openDemuxer();
    const AVCodec *findVideoStream();
    void openDecoder(const AVCodec *codec);
    bool decodeNext();
    bool readVideoPacket();
    void buildIndex();
    void seekTo(int64_t index);
    bool positionAt(size_t start, bool fromStart);
    std::optional<int64_t> nextWantedNumber() const;
    void checkDecoded() const;
    void checkComplete(int64_t frames) const;
    std::optional<int64_t> declaredFrames() const;
    void scale(const AVFrame *decoded, AVPixelFormat target, uint8_t *pixels, int bytesPerSample);
    std::string frameName() const { return "frame " + std::to_string(number_); }

    std::string path_;
    int32_t first_;
    std::vector<FrameRange> wanted_; // increasing spans of frame numbers
    bool partial_;
    VideoReadOptions options_;
    InputPtr input_;
    int stream_ = -1;
    CodecPtr decoder_;
    PacketPtr packet_{av_packet_alloc()};
    AvFramePtr decoded_{av_frame_alloc()};
    ScalePtr scale_;
    std::optional<VideoIndex> index_; // built at the first seek
    bool indexTried_ = false;
    std::optional<int64_t> total_;
    bool pendingPacket_ = false;       // packet_ holds the next packet to decode
    std::optional<int64_t> skipBefore_; // after a seek: frames shown before this time are dropped
    int64_t nextIndex_ = 0;             // the index (from 0) of the next frame decoded
    int64_t number_ = 0;                // the number of the frame in decoded_
    bool finished_ = false, sought_ = false, alpha_ = false;
    int32_t width_ = 0, height_ = 0; // as stored
    DisplayTurn turn_;
    std::vector<uint8_t> turned_;
    std::vector<uint16_t> deepSamples_, deepTurned_;
};

VideoSource::Decoder::Decoder(std::string path, int32_t first, std::vector<FrameRange> wanted,
                              VideoReadOptions options)
    : path_(std::move(path)), first_(first), wanted_(std::move(wanted)), options_(options) {
    if (!packet_ || !decoded_) throw FileError(path_, "out of memory");
    partial_ = wanted_.size() != 1 || wanted_.front().first > first_ || wanted_.front().last < INT32_MAX;
    openDemuxer();
    const AVCodec *codec = findVideoStream();
    openDecoder(codec);
    openDemuxer(); // the stream's other packets are now dropped early
    if (options_.autorotate) turn_ = turnOf(displayMatrixOf(video()));
    if (!turn_.exact) turn_.orientation = {};
}

// Opens the file; once the video stream is known, the demuxer drops the
// other streams' packets.
void VideoSource::Decoder::openDemuxer() {
    input_ = openInput(path_);
    if (stream_ < 0) return;
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) input_->streams[i]->discard = AVDISCARD_ALL;
}

// The best video stream that is not a cover picture, and its decoder;
// throws when there is none.
const AVCodec *VideoSource::Decoder::findVideoStream() {
    const AVCodec *codec = nullptr;
    int found = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    bool cover = false;
    if (found >= 0 && isCoverPicture(input_->streams[found])) {
        cover = true;
        found = AVERROR_STREAM_NOT_FOUND;
        for (unsigned i = 0; i < input_->nb_streams && found < 0; ++i) {
            const AVStream *stream = input_->streams[i];
            if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || isCoverPicture(stream)) continue;
            codec = avcodec_find_decoder(stream->codecpar->codec_id);
            found = codec != nullptr ? static_cast<int>(i) : AVERROR_DECODER_NOT_FOUND;
        }
    }
    if (found == AVERROR_STREAM_NOT_FOUND)
        throw FileError(path_, cover ? "has no video stream, only a cover picture" : "has no video stream");
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
    if (const AVCodec *withAlpha = alphaDecoder(input_->streams[stream_])) {
        codec = withAlpha;
        alpha_ = true;
    }
    alpha_ = alpha_ || pixelFormatHasAlpha(parameters->format);
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

// The next packet of the video stream into packet_; false at the end.
bool VideoSource::Decoder::readVideoPacket() {
    for (;;) {
        const int status = av_read_frame(input_.get(), packet_.get());
        if (status == AVERROR_EOF) {
            if (input_->pb != nullptr && input_->pb->error < 0)
                throw FileError(path_, "cannot read: " + avReason(input_->pb->error));
            return false;
        }
        if (status < 0) throw FileError(path_, "cannot read " + frameName() + ": " + avReason(status));
        if (packet_->stream_index == stream_) return true;
        av_packet_unref(packet_.get());
    }
}

// The next decoded frame into decoded_; false at the end of the stream.
bool VideoSource::Decoder::decodeNext() {
    for (;;) {
        int status = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (status == 0) return true;
        if (status == AVERROR_EOF) return false;
        if (status != AVERROR(EAGAIN)) throw FileError(path_, frameName() + ": " + avReason(status));
        if (!pendingPacket_ && !readVideoPacket()) {
            status = avcodec_send_packet(decoder_.get(), nullptr); // drain
            if (status < 0 && status != AVERROR_EOF) throw FileError(path_, frameName() + ": " + avReason(status));
            continue;
        }
        pendingPacket_ = false;
        const bool damaged = (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
        status = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (damaged) throw FileError(path_, frameName() + " is damaged or cut short");
        if (status < 0 && status != AVERROR(EAGAIN))
            throw FileError(path_, "cannot decode " + frameName() + ": " + avReason(status));
    }
}

// Reads the whole video stream with a demuxer of its own, so that this one
// stays where it is: its packets, and whether each has its times.
void VideoSource::Decoder::buildIndex() {
    if (indexTried_) return;
    indexTried_ = true;
    const InputPtr input = openInput(path_);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) input->streams[i]->discard = AVDISCARD_ALL;
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw FileError(path_, "out of memory");
    std::vector<VideoPacket> packets;
    bool timed = true;
    int64_t shown = 0;
    for (;;) {
        const int status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) throw FileError(path_, "cannot read: " + avReason(status));
        if (packet->stream_index == stream_) {
            timed = timed && packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE;
            const bool discard = (packet->flags & AV_PKT_FLAG_DISCARD) != 0;
            packets.push_back({packet->pts, packet->dts, (packet->flags & AV_PKT_FLAG_KEY) != 0, discard});
            shown += discard ? 0 : 1;
        }
        av_packet_unref(packet.get());
    }
    if (timed) index_ = VideoIndex::build(std::move(packets));
    total_ = index_ ? index_->frames() : shown;
}

// Leaves the demuxer with the packet at decode position start in packet_;
// false when it reads past it, or ends first.
bool VideoSource::Decoder::positionAt(size_t start, bool fromStart) {
    while (readVideoPacket()) {
        const std::optional<size_t> at = index_->packetAt(packet_->dts);
        if (at && *at == start) return true;
        av_packet_unref(packet_.get());
        if (at ? *at > start : !fromStart) return false;
    }
    return false;
}

// Moves the decoder to the key frame before frame index (from 0), then on
// to the frame itself, dropping the frames shown before it.
void VideoSource::Decoder::seekTo(int64_t index) {
    if (pendingPacket_) av_packet_unref(packet_.get());
    pendingPacket_ = false;
    const size_t start = index_->startFor(index);
    const int64_t number = first_ + index;
    number_ = number;
    bool placed = av_seek_frame(input_.get(), stream_, index_->packet(start).dts, AVSEEK_FLAG_BACKWARD) >= 0 &&
                  positionAt(start, false);
    if (!placed) {
        openDemuxer(); // from the start, packet by packet
        placed = positionAt(start, true);
    }
    if (!placed) throw FileError(path_, "cannot find " + frameName() + " where the file's index puts it");
    avcodec_flush_buffers(decoder_.get());
    pendingPacket_ = true;
    skipBefore_ = index_->timeOf(index);
    nextIndex_ = index;
    sought_ = true;
    finished_ = false;
}

std::optional<int64_t> VideoSource::Decoder::nextWantedNumber() const {
    const int64_t next = int64_t{first_} + nextIndex_;
    for (const FrameRange &span : wanted_)
        if (span.last >= next) return std::max<int64_t>(span.first, next);
    return std::nullopt;
}

bool VideoSource::Decoder::nextWanted() {
    while (!finished_) {
        const std::optional<int64_t> want = nextWantedNumber();
        if (!want || *want > INT32_MAX) break;
        const int64_t wantIndex = *want - first_;
        if (wantIndex - nextIndex_ >= kSeekDistance) {
            buildIndex();
            if (index_ && wantIndex < index_->frames() &&
                (nextIndex_ >= index_->frames() || index_->startFor(wantIndex) > index_->startFor(nextIndex_)))
                seekTo(wantIndex);
        }
        number_ = first_ + nextIndex_;
        if (!decodeNext()) {
            finished_ = true;
            checkComplete(nextIndex_);
            return false;
        }
        const int64_t pts = decoded_->best_effort_timestamp;
        if (skipBefore_ && pts != AV_NOPTS_VALUE && pts < *skipBefore_) {
            av_frame_unref(decoded_.get());
            continue;
        }
        if (skipBefore_ && pts != *skipBefore_)
            throw FileError(path_, "cannot find " + frameName() + ": no frame is shown at its time");
        skipBefore_.reset();
        // After a seek, a frame's time says which it is.
        if (const std::optional<int64_t> at = sought_ && index_ ? index_->frameAt(pts) : std::nullopt) nextIndex_ = *at;
        number_ = first_ + nextIndex_++;
        checkDecoded();
        for (const FrameRange &span : wanted_)
            if (number_ >= span.first && number_ <= span.last) return true;
        av_frame_unref(decoded_.get());
    }
    finished_ = true;
    return false;
}

void VideoSource::Decoder::checkDecoded() const {
    const AVFrame *decoded = decoded_.get();
    if ((decoded->flags & AV_FRAME_FLAG_CORRUPT) != 0 || decoded->decode_error_flags != 0)
        throw FileError(path_, frameName() + " is damaged");
    if (decoded->width != width_ || decoded->height != height_)
        throw FileError(path_, frameName() + " is " + std::to_string(decoded->width) + "x" +
                                   std::to_string(decoded->height) + ", but the video is " + std::to_string(width_) +
                                   "x" + std::to_string(height_));
    if (number_ > INT32_MAX) throw FileError(path_, "frame numbers run past " + std::to_string(INT32_MAX));
}

// The decoded frame in the target RGBA format, as stored.
void VideoSource::Decoder::scale(const AVFrame *decoded, AVPixelFormat target, uint8_t *pixels, int bytesPerSample) {
    const auto format = static_cast<AVPixelFormat>(decoded->format);
    scale_.reset(sws_getCachedContext(scale_.release(), width_, height_, format, width_, height_, target, SWS_BICUBIC,
                                      nullptr, nullptr, nullptr));
    if (!scale_)
        throw FileError(path_, std::string("cannot convert pixel format ") +
                                   (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "?"));
    if (!pixelFormatIsRgb(format)) {
        const int colourspace = swsColourspace(decoded->colorspace, height_);
        sws_setColorspaceDetails(scale_.get(), sws_getCoefficients(colourspace),
                                 decoded->color_range == AVCOL_RANGE_JPEG, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
    }
    uint8_t *planes[4] = {pixels, nullptr, nullptr, nullptr};
    const int stride[4] = {width_ * 4 * bytesPerSample, 0, 0, 0};
    if (sws_scale(scale_.get(), decoded->data, decoded->linesize, 0, height_, planes, stride) < 0)
        throw FileError(path_, "cannot convert " + frameName());
}

void VideoSource::Decoder::convert(Frame &frame) {
    const AVFrame *decoded = decoded_.get();
    const bool opaque = !pixelFormatHasAlpha(decoded->format);
    const bool turn = !turn_.orientation.upright();
    const size_t samples = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    if (frame.image.width != outWidth() || frame.image.height != outHeight() || frame.image.pixels.size() != samples) {
        frame.image.width = outWidth();
        frame.image.height = outHeight();
        host::reserveFrameBuffer(frame.image.pixels, samples);
        frame.image.pixels.resize(samples);
    }
    if (options_.deep && pixelFormatBits(decoded->format) > 8) {
        // Full precision, and the 8-bit frame the filter sees rounded from it.
        deepSamples_.resize(samples);
        scale(decoded, AV_PIX_FMT_RGBA64, reinterpret_cast<uint8_t *>(deepSamples_.data()), 2);
        if (turn) orient(turn_.orientation, deepSamples_, width_, height_, deepTurned_);
        const std::vector<uint16_t> &deep = turn ? deepTurned_ : deepSamples_;
        frame.deep.resize(samples);
        for (size_t i = 0; i < samples; ++i) {
            const uint32_t value = opaque && i % 4 == 3 ? 65535 : deep[i];
            frame.deep[i] = static_cast<float>(value) / 65535.0f;
            frame.image.pixels[i] = static_cast<uint8_t>((value * 255 + 32767) / 65535);
        }
        frame.sampleType = "uint16";
    } else {
        if (turn) turned_.resize(samples);
        uint8_t *into = turn ? turned_.data() : frame.image.pixels.data();
        scale(decoded, AV_PIX_FMT_RGBA, into, 1);
        // Some conversions leave alpha unset; a frame without alpha is opaque.
        if (opaque) host::makeOpaque(into, samples / 4);
        if (turn) orient(turn_.orientation, turned_, width_, height_, frame.image.pixels);
        frame.sampleType = "uint8";
        frame.deep.clear();
    }
    frame.number = static_cast<int32_t>(number_);
    const int64_t stamp = decoded->best_effort_timestamp;
    frame.timestamp = stamp == AV_NOPTS_VALUE
                          ? std::nullopt
                          : std::optional<int64_t>(av_rescale_q(stamp, video()->time_base, AV_TIME_BASE_Q));
    av_frame_unref(decoded_.get());
}

// How many frames the file says the stream has: the packets its index
// shows, its frame count, or its length at its frame rate; nothing when it
// does not say.
std::optional<int64_t> VideoSource::Decoder::declaredFrames() const {
    const AVStream *stream = video();
    if (stream->nb_frames > 0 && indexesEveryPacket(input_.get())) {
        int64_t shown = 0;
        const int entries = avformat_index_get_entries_count(stream);
        for (int i = 0; i < entries; ++i)
            shown += (avformat_index_get_entry(const_cast<AVStream *>(stream), i)->flags & AVINDEX_DISCARD_FRAME) ? 0 : 1;
        if (entries > 0) return shown;
    }
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

// A file that stops well before the length it declares was cut short:
// checked at the end of the stream, or on the count of its packets.
void VideoSource::Decoder::checkComplete(int64_t frames) const {
    const std::optional<int64_t> declared = declaredFrames();
    if (!declared) return;
    const int64_t slack = video()->nb_frames > 0 ? 0 : std::max<int64_t>(2, *declared / 50);
    if (frames + slack < *declared)
        throw FileError(path_, "the video ends after " + std::to_string(frames) + " of its " +
                                   std::to_string(*declared) + " frames; it is cut short or damaged");
}

int64_t VideoSource::Decoder::frameTotal() {
    if (total_) return *total_;
    if (video()->nb_frames > 0) {
        const std::optional<int64_t> declared = declaredFrames();
        if (declared) return *declared;
    }
    buildIndex();
    checkComplete(*total_);
    return *total_;
}

std::optional<int64_t> VideoSource::Decoder::wantedCount() {
    if (!total_ && video()->nb_frames <= 0) return std::nullopt;
    const int64_t last = int64_t{first_} + frameTotal() - 1;
    int64_t count = 0;
    for (const FrameRange &span : wanted_)
        count += std::max<int64_t>(0, std::min<int64_t>(span.last, last) - std::max<int64_t>(span.first, first_) + 1);
    return count;
}

namespace {

std::vector<std::pair<std::string, std::string>> tagsOf(const AVDictionary *metadata) {
    std::vector<std::pair<std::string, std::string>> tags;
    const AVDictionaryEntry *tag = nullptr;
    while ((tag = av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr)
        tags.emplace_back(tag->key, tag->value);
    return tags;
}

// Consecutive numbers as spans.
std::vector<FrameRange> spansOf(const std::vector<int32_t> &frames) {
    std::vector<FrameRange> spans;
    for (int32_t frame : frames) {
        if (!spans.empty() && int64_t{spans.back().last} + 1 == frame) spans.back().last = frame;
        else if (spans.empty() || frame > spans.back().last) spans.push_back({frame, frame});
    }
    return spans;
}

} // namespace

VideoSource::VideoSource(std::string path, int32_t first, std::optional<FrameRange> range, VideoReadOptions options)
    : decoder_(std::make_unique<Decoder>(std::move(path), first,
                                         std::vector<FrameRange>{range.value_or(FrameRange{first, INT32_MAX})},
                                         options)) {}

VideoSource::VideoSource(std::string path, int32_t first, const std::vector<int32_t> &frames,
                         VideoReadOptions options)
    : decoder_(std::make_unique<Decoder>(std::move(path), first, spansOf(frames), options)) {}

VideoSource::~VideoSource() = default;

bool VideoSource::next(Frame &frame) {
    if (!decoder_->nextWanted()) return false;
    decoder_->convert(frame);
    return true;
}

std::optional<int64_t> VideoSource::count() const { return decoder_->wantedCount(); }

const std::string &VideoSource::path() const { return decoder_->path(); }

FrameRate VideoSource::frameRate() const {
    const AVRational rate = av_guess_frame_rate(const_cast<AVFormatContext *>(decoder_->input()),
                                                const_cast<AVStream *>(decoder_->video()), nullptr);
    if (rate.num <= 0 || rate.den <= 0) return {};
    return {rate.num, rate.den};
}

bool VideoSource::hasAlpha() const { return decoder_->hasAlpha(); }

int VideoSource::bitsPerSample() const { return pixelFormatBits(decoder_->video()->codecpar->format); }

int32_t VideoSource::width() const { return decoder_->outWidth(); }

int32_t VideoSource::height() const { return decoder_->outHeight(); }

std::string VideoSource::orientationNote() const {
    if (decoder_->turn().exact) return "";
    const double degrees = -av_display_rotation_get(displayMatrixOf(decoder_->video()));
    return decoder_->path() + " is to be shown turned by " + std::to_string(static_cast<int>(std::lround(degrees))) +
           " degrees, which is not a quarter turn: its frames are filtered as stored, and a video output "
           "carries the turn on";
}

VideoOrigin VideoSource::origin() const {
    const AVStream *video = decoder_->video();
    const AVCodecParameters *parameters = video->codecpar;
    VideoOrigin origin;
    origin.path = decoder_->path();
    origin.videoStream = decoder_->stream();
    const int64_t start = decoder_->input()->start_time;
    if (start != AV_NOPTS_VALUE) origin.startMicros = start;
    origin.partial = decoder_->partial();
    AVRational aspect = av_guess_sample_aspect_ratio(const_cast<AVFormatContext *>(decoder_->input()),
                                                     const_cast<AVStream *>(video), nullptr);
    if (aspect.num > 0 && aspect.den > 0 && decoder_->turn().orientation.transpose) aspect = av_inv_q(aspect);
    if (aspect.num > 0 && aspect.den > 0) origin.sampleAspectNum = aspect.num, origin.sampleAspectDen = aspect.den;
    origin.fieldOrder = parameters->field_order;
    origin.primaries = parameters->color_primaries;
    origin.transfer = parameters->color_trc;
    origin.matrix = parameters->color_space;
    origin.range = parameters->color_range;
    const int32_t *matrix = displayMatrixOf(video);
    if (matrix != nullptr && (decoder_->turn().orientation.upright() || !decoder_->turn().exact)) {
        std::array<int32_t, 9> stored{};
        std::copy(matrix, matrix + 9, stored.begin());
        origin.displayMatrix = stored;
    }
    origin.containerTags = tagsOf(decoder_->input()->metadata);
    origin.videoTags = tagsOf(video->metadata);
    return origin;
}

int64_t VideoSource::frameTotal() const { return decoder_->frameTotal(); }

} // namespace kivo::media
