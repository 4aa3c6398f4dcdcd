#include "host/media/frame_pattern.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>

namespace kivo::media {
namespace {

// The widest zero-padded frame number: "%020d" or twenty '#'.
constexpr int kMaxWidth = 20;

struct Placeholder {
    size_t begin = std::string::npos, end = 0; // within the text
    int width = 0;
};

// Finds the one placeholder; throws on none, several, or a bad conversion.
Placeholder findPlaceholder(const std::string &text) {
    Placeholder found;
    auto take = [&](size_t begin, size_t end, int width) {
        if (found.begin != std::string::npos)
            throw std::invalid_argument("\"" + text + "\" has more than one frame number placeholder");
        found = {begin, end, width};
    };
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '#') {
            size_t j = i;
            while (j < text.size() && text[j] == '#')
                ++j;
            if (j - i > kMaxWidth)
                throw std::invalid_argument("\"" + text + "\": a frame number is at most " + std::to_string(kMaxWidth) +
                                            " digits wide; use a run of 1 to " + std::to_string(kMaxWidth) + " '#'");
            take(i, j, static_cast<int>(j - i));
            i = j;
        } else if (text[i] == '%') {
            if (i + 1 < text.size() && text[i + 1] == '%') {
                i += 2;
                continue;
            }
            size_t j = i + 1;
            int width = 0;
            const bool zeroPadded = j < text.size() && text[j] == '0';
            if (zeroPadded) ++j;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                width = std::min(width * 10 + (text[j++] - '0'), 1000);
            if (j >= text.size() || text[j] != 'd' || zeroPadded != (width > 0))
                throw std::invalid_argument("\"" + text + "\": use %d or %0Nd (such as %04d) for the frame number");
            if (width > kMaxWidth)
                throw std::invalid_argument("\"" + text + "\": a frame number is at most " + std::to_string(kMaxWidth) +
                                            " digits wide; use %01d to %0" + std::to_string(kMaxWidth) + "d");
            take(i, j + 1, zeroPadded ? width : 0);
            i = j + 1;
        } else {
            ++i;
        }
    }
    if (found.begin == std::string::npos)
        throw std::invalid_argument("\"" + text + "\" has no frame number; write it as #### or %04d");
    return found;
}

std::string unescapePercent(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

} // namespace

FramePattern::FramePattern(const std::string &pattern) : text_(pattern) {
    const Placeholder placeholder = findPlaceholder(pattern);
    const auto slash = pattern.rfind('/');
    if (slash != std::string::npos && slash > placeholder.begin)
        throw std::invalid_argument("\"" + pattern + "\": the frame number must be in the file name, not a directory");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    directory_ = unescapePercent(std::string_view(pattern).substr(0, nameStart));
    prefix_ = unescapePercent(std::string_view(pattern).substr(nameStart, placeholder.begin - nameStart));
    suffix_ = unescapePercent(std::string_view(pattern).substr(placeholder.end));
    width_ = placeholder.width;
    if (suffix_.find('/') != std::string::npos)
        throw std::invalid_argument("\"" + pattern + "\": the frame number must be in the file name, not a directory");
}

std::string FramePattern::formatNumber(int32_t frame) const {
    char digits[kMaxWidth + 16];
    std::snprintf(digits, sizeof digits, "%0*d", width_, static_cast<int>(frame));
    return digits;
}

std::string FramePattern::pathOf(int32_t frame) const { return directory_ + prefix_ + formatNumber(frame) + suffix_; }

std::optional<int32_t> FramePattern::frameOf(std::string_view name) const {
    if (name.size() <= prefix_.size() + suffix_.size()) return std::nullopt;
    if (name.substr(0, prefix_.size()) != prefix_ || name.substr(name.size() - suffix_.size()) != suffix_)
        return std::nullopt;
    const std::string_view middle = name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    size_t i = middle[0] == '-' ? 1 : 0;
    if (i == middle.size() || middle.size() > kMaxWidth + 1) return std::nullopt;
    int64_t value = 0;
    for (; i < middle.size(); ++i) {
        if (middle[i] < '0' || middle[i] > '9') return std::nullopt;
        value = value * 10 + (middle[i] - '0');
        if (value > int64_t{1} << 32) return std::nullopt;
    }
    if (middle[0] == '-') value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    const auto frame = static_cast<int32_t>(value);
    if (formatNumber(frame) != middle) return std::nullopt;
    return frame;
}

std::vector<int32_t> FramePattern::discover() const {
    std::vector<int32_t> frames;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory(), error);
    if (error) return frames;
    for (const auto &entry : entries) {
        const auto frame = frameOf(entry.path().filename().string());
        if (frame && !entry.is_directory(error)) frames.push_back(*frame);
    }
    std::sort(frames.begin(), frames.end());
    return frames;
}

std::string sequencePatternsLike(const std::string &path) {
    const auto slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    const size_t stemEnd = dot == std::string::npos || dot <= nameStart ? path.size() : dot;
    const std::string stem = path.substr(0, stemEnd), extension = path.substr(stemEnd);
    return stem + "####" + extension + " or " + stem + "/####" + extension;
}

} // namespace kivo::media
