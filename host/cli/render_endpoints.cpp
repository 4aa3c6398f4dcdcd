#include "host/cli/render_endpoints.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>

#include "host/media/atomic_file.h"
#include "host/media/frame_pattern.h"
#include "host/media/video_source.h"

namespace kivo::cli {
namespace {

// Extensions of still image formats the image files read and write.
constexpr std::array<const char *, 18> kImageExtensions = {
    "bmp", "dpx", "exr", "hdr", "j2k", "jp2", "jpeg", "jpg", "pbm",
    "pgm", "png", "pnm", "ppm", "sgi", "tga", "tif", "tiff", "webp"};

std::string fileNameOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hasImageExtension(const std::string &name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string extension = name.substr(dot + 1);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(kImageExtensions.begin(), kImageExtensions.end(), extension) != kImageExtensions.end();
}

EndpointTraits traitsOf(EndpointKind kind) {
    switch (kind) {
    case EndpointKind::Sequence: return {true, true, true, false, true};
    case EndpointKind::Video: return {true, true, false, true, false};
    case EndpointKind::Image: return {false, false, false, false, true};
    case EndpointKind::Stream: break;
    }
    return {false, false, false, false, false};
}

} // namespace

Endpoint describeEndpoint(const std::string &path) {
    const std::string name = fileNameOf(path);
    EndpointKind kind = EndpointKind::Video;
    if (path == "-")
        kind = EndpointKind::Stream;
    else if (name.find('#') != std::string::npos || name.find('%') != std::string::npos)
        kind = EndpointKind::Sequence;
    else if (hasImageExtension(name))
        kind = EndpointKind::Image;
    return {kind, path, traitsOf(kind)};
}

std::string shownName(const Endpoint &endpoint, bool input) {
    if (endpoint.kind != EndpointKind::Stream) return endpoint.path;
    return input ? "standard input" : "standard output";
}

InputTimeline timelineOf(const Endpoint &input, int32_t first) {
    switch (input.kind) {
    case EndpointKind::Sequence: {
        const media::FramePattern pattern(input.path);
        const std::vector<int32_t> found = pattern.discover();
        if (found.empty()) throw media::FileError(pattern.text(), "no frames found in " + pattern.directory());
        return {{found.front(), found.back()}, std::nullopt};
    }
    case EndpointKind::Video: {
        const media::VideoSource video(input.path, first);
        const int64_t total = video.frameTotal();
        if (total < 1) throw media::FileError(input.path, "the video has no frames");
        const int64_t last = std::min<int64_t>(int64_t{first} + total - 1, INT32_MAX);
        const media::FrameRate rate = video.frameRate();
        return {{first, static_cast<int32_t>(last)}, rate.num > 0 ? std::optional<double>(rate.value()) : std::nullopt};
    }
    case EndpointKind::Image: return {{first, first}, std::nullopt};
    case EndpointKind::Stream: break;
    }
    return {{first, INT32_MAX}, std::nullopt};
}

} // namespace kivo::cli
