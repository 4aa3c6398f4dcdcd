// Hands one frame to a module's process callback through a FrameAccess: the
// source image as planar rows that stay unchanged during the frame, a
// separate output image, and an optional progress monitor.
#ifndef KIVO_HOST_CORE_FRAME_RUNNER_H
#define KIVO_HOST_CORE_FRAME_RUNNER_H

#include <cstdint>
#include <vector>

#include "host/core/rgba_image.h"
#include "contract/host_abi.h"

namespace kivo::host {

// Receives the module's progress calls for one frame.
class ProgressListener {
public:
    virtual ~ProgressListener() = default;
    virtual void init(int32_t total) = 0;
    virtual void step(int32_t amount) = 0;
    virtual void done() = 0;
};

struct FrameOptions {
    int32_t frame = 0;
    double time = 0.0;
    bool withMonitor = true;              // false: the frame has no monitor (null)
    ProgressListener *progress = nullptr; // receives the monitor's calls, if any
};

struct FrameReport {
    int64_t outOfFrameWrites = 0; // colour or alpha writes outside the frame, ignored
    int64_t badRowRequests = 0;   // row fetches of an unknown type or a row outside the frame
};

// Runs process(instance, access) on the source image. The output starts as
// all zeros (black, transparent): pixels the module does not write stay so.
// The source is copied into row planes before the module runs, so output may
// be source itself: the frame is then written over its own buffer, which
// that copy has just brought into the cache.
FrameReport runFrame(ProcessFunction process, void *instance, const RgbaImage &source, RgbaImage &output,
                     const FrameOptions &options);

// Runs a frame that depends on no frame run before it: the module first
// processes an empty frame (0 x 0) of the same number, whose draws leave the
// generator where that number puts it, then the frame itself. The draws a
// frame makes before seeding, which continue from the frame before, then
// come from its own number: the frame is a function of its number, the
// settings and its size, in whatever order frames are run.
FrameReport runStandAloneFrame(ProcessFunction process, void *instance, const RgbaImage &source, RgbaImage &output,
                               const FrameOptions &options);

} // namespace kivo::host

#endif
