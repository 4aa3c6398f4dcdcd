// Frame numbers taken from a frame's time alone, as the frei0r plug-in gives
// them to the module and as vidmixer numbers a scene whose frame numbers
// follow time: the frame's time in milliseconds, rounded to a whole number.
// The rounding goes up only from 0.501 past a whole millisecond, so a frame
// that lies exactly half-way (frame 15 at 29.97 fps, 500.5 ms) gets the same
// number in every host, whichever way the host's arithmetic errs. Frames of
// the common rates lie at least a microsecond from that edge.
#ifndef KIVO_HOST_CORE_FRAME_TIME_H
#define KIVO_HOST_CORE_FRAME_TIME_H

#include <cstdint>
#include <optional>

namespace kivo::host {

// The frame number of a time in milliseconds; none for a time that is NaN,
// infinite, negative or numbered past 32 bits (24.8 days).
std::optional<int32_t> frameNumberOfMilliseconds(double milliseconds);

// The frame number of frame `frame` of a timeline at `fps` frames per second.
std::optional<int32_t> frameNumberOfFrame(double frame, double fps);

} // namespace kivo::host

#endif
