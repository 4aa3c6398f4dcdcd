// The fade amount each frame of a filter gets, for drawing: the filter's
// control item read at the frame's time through the host's item service, by
// the filter's fade settings, with the module's rule (channel and axis,
// divided, clamped at 1, then negatives turned or cut).
#ifndef KIVO_HOST_PREVIEW_FADE_CURVE_H
#define KIVO_HOST_PREVIEW_FADE_CURVE_H

#include <cstdint>
#include <optional>
#include <vector>

#include "host/core/settings_codec.h"
#include "host/scene/scene.h"

namespace kivo::preview {

struct FadeSettings {
    int32_t controlItem = 0, channel = 0, axis = 0, divisor = 1, allowNegatives = 0;
};

// The fade settings of a record the module saved; a value it lacks is 0.
FadeSettings fadeSettingsOf(const host::SavedSettings &saved);

struct FadePoint {
    int32_t frame;
    double amount;
};

// The amounts at first..last; with more than most frames, at most evenly
// spaced frames, the last included.
std::vector<FadePoint> fadeCurve(const scene::Scene &scene, const FadeSettings &settings, int32_t first, int32_t last,
                                 int64_t most = 4000);

} // namespace kivo::preview

#endif
