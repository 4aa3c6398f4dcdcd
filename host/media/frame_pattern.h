// An image sequence named by a pattern with one frame-number placeholder in
// the file name: a run of '#' ("frames/####.png", zero-padded to the run's
// length) or a printf conversion ("frames/%04d.png", "%d"); "%%" is a '%'.
#ifndef KIVO_HOST_MEDIA_FRAME_PATTERN_H
#define KIVO_HOST_MEDIA_FRAME_PATTERN_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::media {

class FramePattern {
public:
    // Throws std::invalid_argument saying what is wrong with the pattern.
    explicit FramePattern(const std::string &pattern);

    const std::string &text() const { return text_; }
    std::string pathOf(int32_t frame) const;

    // The frame number of a file name (without directory) that the pattern
    // produces exactly: "0012.png" is frame 12 for "####.png", "12.png" is not.
    std::optional<int32_t> frameOf(std::string_view fileName) const;

    // Numbers of the frames present on disk, lowest first; none when the
    // directory does not exist.
    std::vector<int32_t> discover() const;

    // The directory the frames are in ("." when the pattern names none).
    std::string directory() const { return directory_.empty() ? "." : directory_; }

private:
    std::string formatNumber(int32_t frame) const;

    std::string text_;
    std::string directory_; // with its trailing '/', or empty
    std::string prefix_, suffix_;
    int width_ = 0;
};

// Sequence patterns named like a single file, for messages:
// "dir/still.png" -> "dir/still####.png or dir/still/####.png".
std::string sequencePatternsLike(const std::string &path);

} // namespace kivo::media

#endif
