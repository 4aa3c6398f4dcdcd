// Shared by the frame tests: instances with chosen settings, and a frame run
// through the host core's frame runner with every host call recorded.
#ifndef KIVO_TESTS_PROCESS_FRAME_HELPERS_H
#define KIVO_TESTS_PROCESS_FRAME_HELPERS_H

#include <cstdint>
#include <vector>

#include "host/core/frame_runner.h"
#include "host/core/rgba_image.h"
#include "tests/support/recorded_frame.h"
#include "instance/mixer_instance.h"
#include "instance/settings_table.h"

namespace testing_frames {

using kivo::test::HostCall;
using kivo::host::RgbaImage;

// An instance holding the defaults of a new one.
inline MixerInstance defaultInstance() {
    MixerInstance m{};
    for (const SettingInfo &setting : kSettings) m.*setting.field = setting.facts.defaultValue;
    return m;
}

struct Render {
    RgbaImage image;
    std::vector<HostCall> calls;
    kivo::host::FrameReport report;
};

inline Render render(ProcessFunction process, MixerInstance &m, const RgbaImage &source, int32_t frame,
                     bool recordCalls = true, double time = 0.0) {
    Render r;
    kivo::host::FrameOptions options;
    options.frame = frame;
    options.time = time;
    r.report = recordCalls ? kivo::test::runRecordedFrame(process, &m, source, r.image, options, r.calls)
                           : kivo::host::runFrame(process, &m, source, r.image, options);
    return r;
}

inline RgbaImage flatImage(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    RgbaImage image(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t *p = image.at(x, y);
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = a;
        }
    return image;
}

inline int countCalls(const std::vector<HostCall> &calls, HostCall::Kind kind) {
    int n = 0;
    for (const HostCall &call : calls) n += call.kind == kind;
    return n;
}

} // namespace testing_frames

#endif
