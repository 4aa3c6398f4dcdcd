#include "host/core/frame_runner.h"

#include <algorithm>
#include <cstring>

#include "host/core/frame_buffer.h"
#include "host/core/pixel_layout.h"

namespace kivo::host {

namespace {

// The frame being processed on this thread; the module's frame callbacks
// take no context argument.
struct ActiveFrame {
    int32_t width;
    int32_t height;
    const uint8_t *const *rows; // four row pointers per row: red, green, blue, alpha planes
    const uint8_t *zeroRow;
    uint8_t *output; // interleaved RGBA, width * 4 bytes a row
    ProgressListener *progress;
    FrameReport report;
};

// Every callback reads this, so it lives in the static TLS block even when the
// host core is part of a plug-in loaded at run time (the frei0r filter), where
// the default model would make each read a call into the dynamic linker. The
// frame itself lives there, not a pointer to it: a callback's first read is
// then its frame's field, one dependent load fewer per call. Outside a frame
// it is all zero: fetches get null and writes are counted as outside.
thread_local ActiveFrame tActive __attribute__((tls_model("initial-exec"))) = {};

// Buffers kept from frame to frame on this thread, so a sequence of frames of
// one size allocates them once.
struct FrameWorkspace {
    std::vector<uint8_t> planes;
    std::vector<const uint8_t *> rows;
    std::vector<uint8_t> zeroRow;
};
thread_local FrameWorkspace tWorkspace;

bool inside(const ActiveFrame &f, int32_t x, int32_t y) {
    return static_cast<uint32_t>(x) < static_cast<uint32_t>(f.width) &&
           static_cast<uint32_t>(y) < static_cast<uint32_t>(f.height);
}

const uint8_t *frameGetLine(int32_t type, int32_t y) {
    ActiveFrame &f = tActive;
    const uint32_t plane = static_cast<uint32_t>(type - RTYPE_RED);
    if (plane > 3 || static_cast<uint32_t>(y) >= static_cast<uint32_t>(f.height)) {
        ++f.report.badRowRequests;
        return f.zeroRow;
    }
    return f.rows[static_cast<size_t>(y) * 4 + plane];
}

void frameSetRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    ActiveFrame &f = tActive;
    if (!inside(f, x, y)) {
        ++f.report.outOfFrameWrites;
        return;
    }
    uint8_t *pixel = f.output + (static_cast<size_t>(y) * static_cast<size_t>(f.width) + static_cast<size_t>(x)) * 4;
    std::memcpy(pixel, rgb, 3);
}

void frameSetAlpha(int32_t x, int32_t y, uint8_t alpha) {
    ActiveFrame &f = tActive;
    if (!inside(f, x, y)) {
        ++f.report.outOfFrameWrites;
        return;
    }
    f.output[(static_cast<size_t>(y) * static_cast<size_t>(f.width) + static_cast<size_t>(x)) * 4 + 3] = alpha;
}

extern "C" void monitorInit(void *data, int32_t total) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.progress) f.progress->init(total);
}

extern "C" int32_t monitorStep(void *data, int32_t amount) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.progress) f.progress->step(amount);
    return 0;
}

extern "C" void monitorDone(void *data) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.progress) f.progress->done();
}

// Splits interleaved RGBA into four planes and indexes their rows, so each
// row fetch is one table read.
void splitPlanes(const RgbaImage &source, FrameWorkspace &work) {
    const size_t width = static_cast<size_t>(source.width);
    const size_t count = width * static_cast<size_t>(source.height);
    reserveFrameBuffer(work.planes, count * 4);
    work.planes.resize(count * 4);
    const uint8_t *in = source.pixels.data();
    uint8_t *planes[4] = {work.planes.data(), work.planes.data() + count, work.planes.data() + 2 * count,
                          work.planes.data() + 3 * count};
    splitRgbaPlanes(in, count, planes[0], planes[1], planes[2], planes[3]);
    work.rows.resize(static_cast<size_t>(source.height) * 4);
    for (size_t y = 0; y < static_cast<size_t>(source.height); ++y)
        for (size_t c = 0; c < 4; ++c) work.rows[y * 4 + c] = planes[c] + y * width;
    work.zeroRow.assign(std::max<size_t>(width, 1), 0);
}

} // namespace

FrameReport runFrame(ProcessFunction process, void *instance, const RgbaImage &source, RgbaImage &output,
                     const FrameOptions &options) {
    FrameWorkspace &work = tWorkspace;
    splitPlanes(source, work);
    // From here on source is not read: it may be output.
    const int32_t width = source.width;
    const int32_t height = source.height;
    // Reuses the output's buffer when it has room: no fresh pages per frame.
    output.width = width;
    output.height = height;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    reserveFrameBuffer(output.pixels, bytes);
    output.pixels.assign(bytes, 0);
    // A frame run from inside another's callbacks puts the outer one back.
    const ActiveFrame outer = tActive;
    tActive = ActiveFrame{width, height, work.rows.data(), work.zeroRow.data(), output.pixels.data(), options.progress,
                          {}};

    ProgressMonitor monitor{&tActive, monitorInit, monitorStep, monitorDone};
    FrameAccess access{};
    access.width = width;
    access.height = height;
    access.frame = options.frame;
    access.time = options.time;
    access.getLine = frameGetLine;
    access.setRGB = frameSetRGB;
    access.setAlpha = frameSetAlpha;
    access.monitor = options.withMonitor ? &monitor : nullptr;

    process(instance, &access);
    const FrameReport report = tActive.report;
    tActive = outer;
    return report;
}

FrameReport runStandAloneFrame(ProcessFunction process, void *instance, const RgbaImage &source, RgbaImage &output,
                               const FrameOptions &options) {
    const RgbaImage empty;
    RgbaImage emptyOutput;
    FrameOptions priming = options;
    priming.progress = nullptr;
    runFrame(process, instance, empty, emptyOutput, priming);
    return runFrame(process, instance, source, output, options);
}

} // namespace kivo::host
