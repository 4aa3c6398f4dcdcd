#include "host/cli/cli_options.h"

#include <filesystem>
#include <limits>
#include <stdexcept>

namespace kivo::cli {
namespace {

// A signed 32-bit decimal at text[at...]; advances at.
bool readInt(const std::string &text, size_t &at, int32_t &value) {
    const size_t start = at;
    if (at < text.size() && text[at] == '-') ++at;
    const size_t digits = at;
    int64_t v = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - digits < 11)
        v = v * 10 + (text[at++] - '0');
    if (at == digits) return false;
    if (text[start] == '-') v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(v);
    return true;
}

const char *const kFrameNumberLimits = "frame numbers are -2147483648 to 2147483647";

} // namespace

int32_t parseFrameNumber(const std::string &text, const std::string &option) {
    size_t at = 0;
    int32_t value = 0;
    if (!readInt(text, at, value) || at != text.size())
        throw std::invalid_argument("bad " + option + " \"" + text + "\"; " + kFrameNumberLimits);
    return value;
}

media::FrameRange parseFrameRange(const std::string &text) {
    const std::string usage = "bad frame range \"" + text +
                              "\"; expected FIRST-LAST such as 1-60, or one frame (" + kFrameNumberLimits + ")";
    size_t at = 0;
    media::FrameRange range{};
    if (!readInt(text, at, range.first)) throw std::invalid_argument(usage);
    if (at == text.size()) {
        range.last = range.first;
        return range;
    }
    if (text[at++] != '-' || !readInt(text, at, range.last) || at != text.size()) throw std::invalid_argument(usage);
    if (range.last < range.first)
        throw std::invalid_argument("bad frame range \"" + text + "\": the last frame comes before the first");
    return range;
}

size_t parseWriterCount(const std::string &text, size_t most) {
    size_t value = 0;
    bool valid = !text.empty() && text.size() <= 6;
    for (char c : text) {
        if (c < '0' || c > '9') valid = false;
        if (valid) value = value * 10 + static_cast<size_t>(c - '0');
    }
    if (!valid || value < 1 || value > most)
        throw std::invalid_argument("--writers must be 1 to " + std::to_string(most) + ", not \"" + text + "\"");
    return value;
}

std::string defaultModulePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = executable.parent_path() / "kivo_vidmixer.p";
        if (std::filesystem::exists(beside, error)) return beside.string();
    }
    throw std::runtime_error("no kivo_vidmixer.p beside the vidmixer executable; name the module with --module FILE");
}

std::string modulePathOr(const std::string &given) { return given.empty() ? defaultModulePath() : given; }

} // namespace kivo::cli
