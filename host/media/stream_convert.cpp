#include "host/media/stream_convert.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "host/media/atomic_file.h"

namespace kivo::media {
namespace {

bool containerIs(const AVOutputFormat *format, const char *name) { return std::strcmp(format->name, name) == 0; }

// A byte stream that keeps nothing but can seek, as muxers that rewrite
// their header need.
struct NullIo {
    int64_t position = 0, size = 0;
    static int write(void *opaque, uint8_t *, int bytes) {
        auto *io = static_cast<NullIo *>(opaque);
        io->position += bytes;
        io->size = std::max(io->size, io->position);
        return bytes;
    }
    static int64_t seek(void *opaque, int64_t offset, int whence) {
        auto *io = static_cast<NullIo *>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return io->size;
        case SEEK_SET: break;
        case SEEK_CUR: offset += io->position; break;
        case SEEK_END: offset += io->size; break;
        default: return AVERROR(EINVAL);
        }
        return offset < 0 ? AVERROR(EINVAL) : (io->position = offset);
    }
};

struct SwrDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo *fifo) const { av_audio_fifo_free(fifo); }
};

// The encoder's sample rate nearest above the source's, or its highest.
int sampleRateFor(const AVCodec *encoder, int rate) {
    if (encoder->supported_samplerates == nullptr) return rate;
    int best = 0;
    for (const int *r = encoder->supported_samplerates; *r != 0; ++r) {
        if (*r == rate) return rate;
        if ((*r > rate && (best < rate || *r < best)) || (best < rate && *r > best)) best = *r;
    }
    return best;
}

} // namespace

bool containerTakes(const AVOutputFormat *container, const AVCodecParameters *parameters) {
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, container, nullptr, nullptr) < 0 || raw == nullptr) return false;
    NullIo sink;
    constexpr int kBufferSize = 4096;
    auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
    AVIOContext *io = buffer == nullptr ? nullptr
                                        : avio_alloc_context(buffer, kBufferSize, 1, &sink, nullptr, &NullIo::write,
                                                             &NullIo::seek);
    AVStream *stream = io == nullptr ? nullptr : avformat_new_stream(raw, nullptr);
    bool takes = false;
    if (stream != nullptr && avcodec_parameters_copy(stream->codecpar, parameters) >= 0) {
        stream->codecpar->codec_tag = 0;
        stream->time_base = {1, 90000};
        raw->pb = io;
        takes = avformat_write_header(raw, nullptr) >= 0;
    }
    raw->pb = nullptr;
    avformat_free_context(raw);
    if (io != nullptr) av_freep(&io->buffer);
    else av_free(buffer);
    avio_context_free(&io);
    return takes;
}

const AVCodec *conversionEncoder(const AVOutputFormat *container, AVMediaType type) {
    const bool mp4 = containerIs(container, "mp4") || containerIs(container, "mov");
    const bool webm = containerIs(container, "webm");
    if (type == AVMEDIA_TYPE_AUDIO) {
        if (mp4) return avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (webm) return avcodec_find_encoder_by_name("libopus");
        return container->audio_codec == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(container->audio_codec);
    }
    if (mp4) return avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
    if (webm) return avcodec_find_encoder(AV_CODEC_ID_WEBVTT);
    return container->subtitle_codec == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(container->subtitle_codec);
}

class StreamConversion::Coder {
public:
    Coder(const AVStream *source, const AVCodec *encoder, AVFormatContext *output, const std::string &outputName);

    int index() const { return stream_->index; }
    void convert(AVPacket *packet, const Write &write);
    void finish(const Write &write);

private:
    void openAudio(const AVCodec *encoder);
    void openSubtitles(const AVCodec *encoder);
    void decodeAudio(const AVPacket *packet, const Write &write);
    void encodeAudio(bool last, const Write &write);
    void sendAudio(AVFrame *frame, const Write &write);
    void convertSubtitle(AVPacket *packet, const Write &write);
    [[noreturn]] void fail(const std::string &why) const { throw FileError(outputName_, why); }

    std::string outputName_;
    AVRational sourceBase_;
    bool audio_;
    AVFormatContext *output_;
    AVStream *stream_ = nullptr;
    CodecPtr decoder_, encoder_;
    std::unique_ptr<SwrContext, SwrDeleter> resample_;
    std::unique_ptr<AVAudioFifo, FifoDeleter> fifo_;
    AvFramePtr decoded_{av_frame_alloc()}, resampled_{av_frame_alloc()}, chunk_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    std::optional<int64_t> nextPts_; // of the next encoded sound frame, in samples
    bool ended_ = false;
};

StreamConversion::Coder::Coder(const AVStream *source, const AVCodec *encoder, AVFormatContext *output,
                               const std::string &outputName)
    : outputName_(outputName), sourceBase_(source->time_base),
      audio_(source->codecpar->codec_type == AVMEDIA_TYPE_AUDIO), output_(output) {
    const AVCodec *decoding = avcodec_find_decoder(source->codecpar->codec_id);
    if (decoding == nullptr) fail(std::string("no decoder for ") + avcodec_get_name(source->codecpar->codec_id));
    decoder_.reset(avcodec_alloc_context3(decoding));
    encoder_.reset(avcodec_alloc_context3(encoder));
    if (!decoder_ || !encoder_ || !decoded_ || !resampled_ || !chunk_ || !packet_ ||
        avcodec_parameters_to_context(decoder_.get(), source->codecpar) < 0)
        fail("out of memory");
    decoder_->pkt_timebase = source->time_base;
    if (avcodec_open2(decoder_.get(), decoding, nullptr) < 0)
        fail(std::string("cannot decode ") + avcodec_get_name(source->codecpar->codec_id));
    if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (audio_) openAudio(encoder);
    else openSubtitles(encoder);
    stream_ = avformat_new_stream(output, nullptr);
    if (stream_ == nullptr || avcodec_parameters_from_context(stream_->codecpar, encoder_.get()) < 0)
        fail("out of memory");
    stream_->time_base = encoder_->time_base;
    stream_->disposition = source->disposition;
    av_dict_copy(&stream_->metadata, source->metadata, 0);
    av_dict_set(&stream_->metadata, "encoder", nullptr, 0);
}

void StreamConversion::Coder::openAudio(const AVCodec *encoder) {
    encoder_->sample_rate = sampleRateFor(encoder, decoder_->sample_rate);
    encoder_->sample_fmt = encoder->sample_fmts != nullptr ? encoder->sample_fmts[0] : decoder_->sample_fmt;
    if (av_channel_layout_copy(&encoder_->ch_layout, &decoder_->ch_layout) < 0) fail("out of memory");
    if (encoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&encoder_->ch_layout, encoder_->ch_layout.nb_channels);
    encoder_->time_base = {1, encoder_->sample_rate};
    const int status = avcodec_open2(encoder_.get(), encoder_->codec, nullptr);
    if (status < 0) fail(std::string("cannot open the ") + encoder_->codec->name + " encoder: " + avReason(status));
    SwrContext *resample = nullptr;
    if (swr_alloc_set_opts2(&resample, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                            &encoder_->ch_layout, decoder_->sample_fmt, decoder_->sample_rate, 0, nullptr) < 0)
        fail("out of memory");
    resample_.reset(resample);
    fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, 4096));
    if (!fifo_) fail("out of memory");
}

void StreamConversion::Coder::openSubtitles(const AVCodec *encoder) {
    encoder_->time_base = AV_TIME_BASE_Q;
    if (decoder_->subtitle_header_size > 0) {
        encoder_->subtitle_header = static_cast<uint8_t *>(av_mallocz(decoder_->subtitle_header_size + 1));
        if (encoder_->subtitle_header == nullptr) fail("out of memory");
        std::memcpy(encoder_->subtitle_header, decoder_->subtitle_header, decoder_->subtitle_header_size);
        encoder_->subtitle_header_size = decoder_->subtitle_header_size;
    }
    const int status = avcodec_open2(encoder_.get(), encoder, nullptr);
    if (status < 0) fail(std::string("cannot open the ") + encoder->name + " encoder: " + avReason(status));
}

// Sends a frame of sound (or the end, with null) and writes what comes out.
void StreamConversion::Coder::sendAudio(AVFrame *frame, const Write &write) {
    int status = avcodec_send_frame(encoder_.get(), frame);
    if (status < 0) fail("cannot encode its sound: " + avReason(status));
    for (;;) {
        status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        if (status < 0) fail("cannot encode its sound: " + avReason(status));
        av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        write(packet_.get());
        av_packet_unref(packet_.get());
    }
}

// Encodes the resampled sound in the encoder's frame size; at the end, the
// rest too.
void StreamConversion::Coder::encodeAudio(bool last, const Write &write) {
    const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (last && av_audio_fifo_size(fifo_.get()) > 0)) {
        AVFrame *chunk = chunk_.get();
        chunk->nb_samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        chunk->format = encoder_->sample_fmt;
        chunk->sample_rate = encoder_->sample_rate;
        if (av_channel_layout_copy(&chunk->ch_layout, &encoder_->ch_layout) < 0 || av_frame_get_buffer(chunk, 0) < 0)
            fail("out of memory");
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void **>(chunk->data), chunk->nb_samples);
        chunk->pts = nextPts_.value_or(0);
        nextPts_ = chunk->pts + chunk->nb_samples;
        sendAudio(chunk, write);
        av_frame_unref(chunk);
    }
    if (last) sendAudio(nullptr, write);
}

// Decodes a packet (or, with null, what the decoder still holds) into the
// encoder's sample format and rate.
void StreamConversion::Coder::decodeAudio(const AVPacket *packet, const Write &write) {
    int status = avcodec_send_packet(decoder_.get(), packet);
    if (status < 0 && status != AVERROR_EOF) fail("cannot decode its sound: " + avReason(status));
    for (;;) {
        status = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) break;
        if (status < 0) fail("cannot decode its sound: " + avReason(status));
        if (!nextPts_ && decoded_->best_effort_timestamp != AV_NOPTS_VALUE)
            nextPts_ = av_rescale_q(decoded_->best_effort_timestamp, sourceBase_, encoder_->time_base);
        AVFrame *out = resampled_.get();
        out->format = encoder_->sample_fmt;
        out->sample_rate = encoder_->sample_rate;
        if (av_channel_layout_copy(&out->ch_layout, &encoder_->ch_layout) < 0) fail("out of memory");
        status = swr_convert_frame(resample_.get(), out, decoded_.get());
        av_frame_unref(decoded_.get());
        if (status < 0) fail("cannot resample its sound: " + avReason(status));
        if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void **>(out->data), out->nb_samples) < 0)
            fail("out of memory");
        av_frame_unref(out);
        encodeAudio(false, write);
    }
}

void StreamConversion::Coder::convertSubtitle(AVPacket *packet, const Write &write) {
    AVSubtitle subtitle{};
    int got = 0;
    if (avcodec_decode_subtitle2(decoder_.get(), &subtitle, &got, packet) < 0 || !got) return;
    const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    subtitle.pts = av_rescale_q(start, sourceBase_, AV_TIME_BASE_Q) + int64_t{subtitle.start_display_time} * 1000;
    subtitle.end_display_time -= subtitle.start_display_time;
    subtitle.start_display_time = 0;
    if (subtitle.end_display_time == 0 && packet->duration > 0)
        subtitle.end_display_time = static_cast<uint32_t>(av_rescale_q(packet->duration, sourceBase_, {1, 1000}));
    std::vector<uint8_t> buffer(1 << 16);
    const int size = avcodec_encode_subtitle(encoder_.get(), buffer.data(), static_cast<int>(buffer.size()), &subtitle);
    const int64_t pts = subtitle.pts;
    const uint32_t shown = subtitle.end_display_time;
    avsubtitle_free(&subtitle);
    if (size < 0) fail("cannot encode its subtitles: " + avReason(size));
    if (av_new_packet(packet_.get(), size) < 0) fail("out of memory");
    std::memcpy(packet_->data, buffer.data(), static_cast<size_t>(size));
    packet_->pts = packet_->dts = av_rescale_q(pts, AV_TIME_BASE_Q, stream_->time_base);
    packet_->duration = av_rescale_q(shown, {1, 1000}, stream_->time_base);
    packet_->stream_index = stream_->index;
    write(packet_.get());
    av_packet_unref(packet_.get());
}

void StreamConversion::Coder::convert(AVPacket *packet, const Write &write) {
    if (audio_) decodeAudio(packet, write);
    else convertSubtitle(packet, write);
}

void StreamConversion::Coder::finish(const Write &write) {
    if (ended_ || !audio_) return;
    ended_ = true;
    decodeAudio(nullptr, write);
    AVFrame *out = resampled_.get();
    out->format = encoder_->sample_fmt;
    out->sample_rate = encoder_->sample_rate;
    if (av_channel_layout_copy(&out->ch_layout, &encoder_->ch_layout) < 0) fail("out of memory");
    if (swr_convert_frame(resample_.get(), out, nullptr) >= 0 && out->nb_samples > 0)
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void **>(out->data), out->nb_samples);
    av_frame_unref(out);
    encodeAudio(true, write);
}

StreamConversion::StreamConversion(const AVStream *source, const AVCodec *encoder, AVFormatContext *output,
                                   const std::string &outputName)
    : coder_(std::make_unique<Coder>(source, encoder, output, outputName)) {}

StreamConversion::~StreamConversion() = default;

int StreamConversion::outputIndex() const { return coder_->index(); }

void StreamConversion::convert(AVPacket *packet, const Write &write) { coder_->convert(packet, write); }

void StreamConversion::finish(const Write &write) { coder_->finish(write); }

} // namespace kivo::media
