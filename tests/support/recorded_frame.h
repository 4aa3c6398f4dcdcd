// A frame run with every host call the module makes recorded in order: the
// module's FrameAccess callbacks and monitor are wrapped, each wrapper notes
// the call and hands it on to the host core's frame runner.
#ifndef KIVO_TESTS_SUPPORT_RECORDED_FRAME_H
#define KIVO_TESTS_SUPPORT_RECORDED_FRAME_H

#include <cstdint>
#include <vector>

#include "contract/host_abi.h"
#include "host/core/frame_runner.h"
#include "host/core/rgba_image.h"

namespace kivo::test {

// One host call made by the module during a frame.
struct HostCall {
    enum class Kind : uint8_t { GetLine, SetRGB, SetAlpha, MonitorInit, MonitorStep, MonitorDone } kind;
    int32_t a = 0; // type or x or monitor amount
    int32_t b = 0; // y
    uint8_t rgba[3] = {0, 0, 0};
    bool operator==(const HostCall &) const = default;
};

// runFrame, with the module's calls appended to calls.
host::FrameReport runRecordedFrame(ProcessFunction process, void *instance, const host::RgbaImage &source,
                                   host::RgbaImage &output, const host::FrameOptions &options,
                                   std::vector<HostCall> &calls);

} // namespace kivo::test

#endif
