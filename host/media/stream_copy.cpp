#include "host/media/stream_copy.h"

#include <algorithm>

#include "host/media/atomic_file.h"

namespace kivo::media {

StreamCopy::StreamCopy(const CopySource &source, AVFormatContext *output, const std::string &outputName,
                       const Warn &warn)
    : path_(source.path), input_(openInput(source.path)), output_(output) {
    if (!packet_) throw FileError(path_, "out of memory");
    map_.assign(input_->nb_streams, -1);
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        AVStream *in = input_->streams[i];
        in->discard = AVDISCARD_ALL;
        const AVMediaType type = in->codecpar->codec_type;
        if (static_cast<int>(i) == source.skipStream || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE))
            continue;
        // Whether the container can hold the codec; an unknown answer counts as yes.
        if (avformat_query_codec(output->oformat, in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
            warn(std::string("the ") + (type == AVMEDIA_TYPE_AUDIO ? "sound" : "subtitle") + " stream " +
                 std::to_string(i) + " (" + avcodec_get_name(in->codecpar->codec_id) + ") does not fit in " +
                 fileNameOf(outputName) + "'s container; it is left out");
            continue;
        }
        AVStream *out = avformat_new_stream(output, nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            throw FileError(outputName, "out of memory");
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->disposition = in->disposition;
        av_dict_copy(&out->metadata, in->metadata, 0);
        in->discard = AVDISCARD_DEFAULT;
        map_[i] = out->index;
    }
    done_ = std::none_of(map_.begin(), map_.end(), [](int index) { return index >= 0; });
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
        AVStream *out = output_->streams[map_[packet->stream_index]];
        av_packet_rescale_ts(packet, from, out->time_base);
        packet->stream_index = out->index;
        packet->pos = -1;
        write(packet);
    }
}

} // namespace kivo::media
