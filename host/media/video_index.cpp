#include "host/media/video_index.h"

#include <algorithm>

namespace kivo::media {

std::optional<VideoIndex> VideoIndex::build(std::vector<VideoPacket> packets) {
    VideoIndex index;
    for (size_t i = 0; i < packets.size(); ++i)
        if (i > 0 && packets[i].dts <= packets[i - 1].dts) return std::nullopt;
    std::vector<size_t> order;
    for (size_t i = 0; i < packets.size(); ++i)
        if (!packets[i].discard) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return packets[a].pts < packets[b].pts; });
    for (size_t i : order) {
        if (!index.shown_.empty() && index.shown_.back() == packets[i].pts) return std::nullopt;
        index.shown_.push_back(packets[i].pts);
        index.packetOfShown_.push_back(i);
    }
    index.packets_ = std::move(packets);
    return index;
}

std::optional<int64_t> VideoIndex::frameAt(int64_t pts) const {
    const auto found = std::lower_bound(shown_.begin(), shown_.end(), pts);
    if (found == shown_.end() || *found != pts) return std::nullopt;
    return found - shown_.begin();
}

size_t VideoIndex::startFor(int64_t frame) const {
    const size_t own = packetOfShown_[static_cast<size_t>(frame)];
    const int64_t time = shown_[static_cast<size_t>(frame)];
    for (size_t i = own + 1; i-- > 0;)
        if (packets_[i].key && packets_[i].pts <= time) return i;
    return 0; // no key frame before it: from the stream's start
}

std::optional<size_t> VideoIndex::packetAt(int64_t dts) const {
    const auto found = std::lower_bound(packets_.begin(), packets_.end(), dts,
                                        [](const VideoPacket &packet, int64_t value) { return packet.dts < value; });
    if (found == packets_.end() || found->dts != dts) return std::nullopt;
    return static_cast<size_t>(found - packets_.begin());
}

} // namespace kivo::media
