// Where each frame of a video stream lies: its packets in decode order, the
// frames in presentation order (as a straight decode gives them, without
// the packets an edit list leaves out), and the key frame a decoder starts
// at to reach a frame.
#ifndef KIVO_HOST_MEDIA_VIDEO_INDEX_H
#define KIVO_HOST_MEDIA_VIDEO_INDEX_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kivo::media {

struct VideoPacket {
    int64_t pts = 0, dts = 0; // in the stream's time base
    bool key = false;         // a decoder can start here
    bool discard = false;     // decoded for the frames after it, but not shown
};

class VideoIndex {
public:
    // The index of a stream's packets in decode order; none when some
    // packet has no timestamps, decode times do not increase, or two shown
    // frames share a time (the stream is then read from its start).
    static std::optional<VideoIndex> build(std::vector<VideoPacket> packets);

    int64_t frames() const { return static_cast<int64_t>(shown_.size()); }
    // The presentation time of frame i (from 0), in the stream's time base.
    int64_t timeOf(int64_t frame) const { return shown_[static_cast<size_t>(frame)]; }
    // The frame shown at a time; none when no frame is.
    std::optional<int64_t> frameAt(int64_t pts) const;
    // The packet (in decode order) a decoder starts at to give frame i: the
    // last key packet at or before the frame's own whose frame is not later.
    size_t startFor(int64_t frame) const;
    // The decode-order position of the packet with this decode time.
    std::optional<size_t> packetAt(int64_t dts) const;
    const VideoPacket &packet(size_t position) const { return packets_[position]; }

private:
    std::vector<VideoPacket> packets_;
    std::vector<int64_t> shown_;         // presentation times of the shown frames, increasing
    std::vector<size_t> packetOfShown_;  // the packet of each shown frame
};

} // namespace kivo::media

#endif
