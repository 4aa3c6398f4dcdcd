// What a render reads and writes, decided once from the names given: an
// image sequence, a video file, a raw stream or a single image, each with
// what it allows.
#ifndef KIVO_HOST_CLI_RENDER_ENDPOINTS_H
#define KIVO_HOST_CLI_RENDER_ENDPOINTS_H

#include <cstdint>
#include <optional>
#include <string>

#include "host/media/frame_source.h"

namespace kivo::cli {

enum class EndpointKind { Sequence, Video, Stream, Image };

// What a kind of endpoint allows.
struct EndpointTraits {
    bool replay; // as an input: a history's earlier frames can be read again
    bool seek;   // as an input: reading can start at any frame, so a render can be resumed or split
    bool keep;   // as an output: finished frames are files of their own, which a later run can keep or add to
    bool audio;  // it has sound and subtitles to carry over
    bool depth;  // it keeps 16-bit and float samples
};

struct Endpoint {
    EndpointKind kind;
    std::string path; // as given; "-" for a stream
    EndpointTraits allows;
};

// "-" is a stream; a name with a '#' run or a '%' conversion a sequence; a
// file named as an image format an image; any other a video.
Endpoint describeEndpoint(const std::string &path);

// What messages call it: the file or pattern, or "standard input"/"standard output".
std::string shownName(const Endpoint &endpoint, bool input);

struct RenderEndpoints {
    Endpoint input, output;
};

// The frames an input holds and the rate it runs at, for a scene made to
// fit it: a sequence's numbers, or a video's (or image's) frames numbered
// from first; a stream's run from first on. No rate for a sequence, a
// stream or an image. Throws FileError.
struct InputTimeline {
    media::FrameRange frames;
    std::optional<double> fps;
};
InputTimeline timelineOf(const Endpoint &input, int32_t first);

} // namespace kivo::cli

#endif
