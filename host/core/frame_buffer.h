// Room for a frame-sized buffer without touching its pages one at a time.
#ifndef KIVO_HOST_CORE_FRAME_BUFFER_H
#define KIVO_HOST_CORE_FRAME_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::host {

// Gives buffer a capacity of at least bytes (its contents unchanged). New
// room is marked for transparent huge pages, where the system has them: the
// kernel then backs each 2 MB with one fault instead of 512. On a virtual
// machine a 4 KB fault can cost 10 microseconds, so the first touch of a
// 1080p frame costs about 20 ms; the frames that travel between the render's
// threads are each allocated once, but there are eight or so of them.
void reserveFrameBuffer(std::vector<uint8_t> &buffer, size_t bytes);

} // namespace kivo::host

#endif
