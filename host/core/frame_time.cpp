#include "host/core/frame_time.h"

#include <cmath>

namespace kivo::host {

std::optional<int32_t> frameNumberOfMilliseconds(double milliseconds) {
    if (!(milliseconds >= 0.0)) return std::nullopt; // NaN or negative
    const double number = std::floor(milliseconds + 0.499);
    if (!(number <= 2147483647.0)) return std::nullopt; // infinite or past 32 bits
    return static_cast<int32_t>(number);
}

std::optional<int32_t> frameNumberOfFrame(double frame, double fps) {
    return frameNumberOfMilliseconds(frame * 1000.0 / fps);
}

} // namespace kivo::host
