#include "host/media/stream_copy.h"

#include <algorithm>

#include "host/media/atomic_file.h"

namespace kivo::media {

namespace {

const char *streamNoun(AVMediaType type) { return type == AVMEDIA_TYPE_AUDIO ? "sound" : "subtitle"; }

// The encoder asked for every sound stream; throws when there is none that
// the container takes.
const AVCodec *askedAudioEncoder(const std::string &name, const AVOutputFormat *container, const std::string &output) {
    const AVCodec *codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr)
        if (const AVCodecDescriptor *descriptor = avcodec_descriptor_get_by_name(name.c_str()))
            codec = avcodec_find_encoder(descriptor->id);
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_AUDIO) throw FileError(output, "no audio encoder named " + name);
    if (avformat_query_codec(container, codec->id, FF_COMPLIANCE_NORMAL) == 0)
        throw FileError(output, std::string("the codec ") + codec->name + " cannot be stored in the " +
                                    container->name + " format");
    return codec;
}

} // namespace

StreamCopy::StreamCopy(const CopySource &source, AVFormatContext *output, const std::string &outputName,
                       const Warn &warn, const Warn &note)
    : path_(source.path), input_(openInput(source.path)), output_(output) {
    if (!packet_) throw FileError(path_, "out of memory");
    map_.assign(input_->nb_streams, -1);
    conversions_.resize(input_->nb_streams);
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        AVStream *in = input_->streams[i];
        in->discard = AVDISCARD_ALL;
        const AVMediaType type = in->codecpar->codec_type;
        if (static_cast<int>(i) == source.skipStream || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE))
            continue;
        addStream(i, source, outputName, warn, note);
    }
    done_ = std::none_of(map_.begin(), map_.end(), [](int index) { return index >= 0; });
}

StreamCopy::~StreamCopy() = default;

// Copies a stream where the container takes it as it is; else converts it,
// or leaves it out with a warning.
void StreamCopy::addStream(unsigned index, const CopySource &source, const std::string &outputName, const Warn &warn,
                           const Warn &note) {
    AVStream *in = input_->streams[index];
    const AVMediaType type = in->codecpar->codec_type;
    const std::string what = std::string("the ") + streamNoun(type) + " stream " + std::to_string(index) + " (" +
                             avcodec_get_name(in->codecpar->codec_id) + ")";
    const bool asked = type == AVMEDIA_TYPE_AUDIO && !source.audioCodec.empty() && source.audioCodec != "copy";
    if (!asked && containerTakes(output_->oformat, in->codecpar)) {
        AVStream *out = avformat_new_stream(output_, nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            throw FileError(outputName, "out of memory");
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->disposition = in->disposition;
        av_dict_copy(&out->metadata, in->metadata, 0);
        in->discard = AVDISCARD_DEFAULT;
        map_[index] = out->index;
        return;
    }
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get(in->codecpar->codec_id);
    const bool text = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_TEXT_SUB) != 0;
    const AVCodec *encoder = asked ? askedAudioEncoder(source.audioCodec, output_->oformat, outputName)
                             : type == AVMEDIA_TYPE_AUDIO || text ? conversionEncoder(output_->oformat, type)
                                                                  : nullptr;
    const std::string where = fileNameOf(outputName) + "'s container";
    if (encoder != nullptr) {
        try {
            conversions_[index] = std::make_unique<StreamConversion>(in, encoder, output_, outputName);
            in->discard = AVDISCARD_DEFAULT;
            map_[index] = conversions_[index]->outputIndex();
            if (!asked) note(what + " does not fit in " + where + "; it is converted to " + encoder->name);
            return;
        } catch (const FileError &error) {
            if (asked) throw;
            warn(what + " does not fit in " + where + " and cannot be converted (" + error.reason() +
                 "); it is left out");
            return;
        }
    }
    warn(what + " does not fit in " + where + " and cannot be converted; it is left out");
}

// The next packet of a copied stream into packet_; false at the end.
bool StreamCopy::readPending() {
    while (!pending_) {
        const int status = av_read_frame(input_.get(), packet_.get());
        if (status == AVERROR_EOF) return false;
        if (status < 0) throw FileError(path_, "cannot read its sound: " + avReason(status));
        const int index = packet_->stream_index;
        if (index < 0 || index >= static_cast<int>(map_.size()) || map_[index] < 0) {
            av_packet_unref(packet_.get());
            continue;
        }
        pending_ = true;
    }
    return true;
}

void StreamCopy::copyUntil(int64_t limitMicros, const CopySpan &span, const Write &write) {
    while (!done_) {
        if (!readPending()) {
            done_ = true;
            return;
        }
        AVPacket *packet = packet_.get();
        const AVRational from = input_->streams[packet->stream_index]->time_base;
        const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        const int64_t at = stamp == AV_NOPTS_VALUE ? 0 : av_rescale_q(stamp, from, AV_TIME_BASE_Q) - span.offsetMicros;
        if (at > limitMicros) return;
        pending_ = false;
        if (span.endMicros && (at < 0 || at >= *span.endMicros)) {
            av_packet_unref(packet);
            continue;
        }
        const int64_t shift = av_rescale_q(span.offsetMicros, AV_TIME_BASE_Q, from);
        if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
        if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
        if (StreamConversion *conversion = conversions_[packet->stream_index].get()) {
            conversion->convert(packet, write);
            av_packet_unref(packet);
            continue;
        }
        AVStream *out = output_->streams[map_[packet->stream_index]];
        av_packet_rescale_ts(packet, from, out->time_base);
        packet->stream_index = out->index;
        packet->pos = -1;
        write(packet);
    }
}

} // namespace kivo::media

namespace kivo::media {

void StreamCopy::finish(const Write &write) {
    for (const std::unique_ptr<StreamConversion> &conversion : conversions_)
        if (conversion) conversion->finish(write);
}

} // namespace kivo::media
