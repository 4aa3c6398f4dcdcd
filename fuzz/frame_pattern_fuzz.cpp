// Fuzz target for the frame pattern parser: the first four bytes are a frame
// number, the rest a pattern. A pattern is refused with invalid_argument or
// accepted; an accepted one names each frame by a distinct file in its
// directory, and reading that name back gives the same frame number.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "host/media/frame_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    int32_t frame;
    std::memcpy(&frame, data, 4);
    const std::string text(reinterpret_cast<const char *>(data) + 4, size - 4);
    try {
        const kivo::media::FramePattern pattern(text);
        for (const int32_t number : {frame, frame == INT32_MAX ? frame - 1 : frame + 1, INT32_MIN, INT32_MAX, 0}) {
            const std::string path = pattern.pathOf(number);
            const std::string directory = pattern.directory() == "." ? "" : pattern.directory();
            if (path.compare(0, directory.size(), directory) != 0) std::abort();
            const std::string name = path.substr(directory.size());
            if (name.find('/') != std::string::npos) std::abort();
            const auto back = pattern.frameOf(name);
            if (!back || *back != number) std::abort();
        }
        if (pattern.pathOf(frame) == pattern.pathOf(frame == INT32_MAX ? frame - 1 : frame + 1)) std::abort();
    } catch (const std::invalid_argument &) {
    }
    return 0;
}
