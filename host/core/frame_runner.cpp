#include "host/core/frame_runner.h"

#include <algorithm>

namespace kivo::host {

namespace {

// The frame being processed on this thread; the module's frame callbacks
// take no context argument.
struct ActiveFrame {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> planes; // red, green, blue, alpha planes, row by row
    std::vector<uint8_t> zeroRow;
    RgbaImage *output;
    std::vector<HostCall> *calls;
    ProgressListener *progress;
    FrameReport report;
};

thread_local ActiveFrame *tActive = nullptr;

bool inside(const ActiveFrame &f, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < f.width && y < f.height;
}

extern "C" const uint8_t *frameGetLine(int32_t type, int32_t y) {
    ActiveFrame &f = *tActive;
    if (f.calls) f.calls->push_back({HostCall::Kind::GetLine, type, y, {}});
    if (type < RTYPE_RED || type > RTYPE_ALPHA || y < 0 || y >= f.height) {
        ++f.report.badRowRequests;
        return f.zeroRow.data();
    }
    const size_t plane = static_cast<size_t>(type - RTYPE_RED);
    return f.planes.data() + (plane * f.height + y) * static_cast<size_t>(f.width);
}

extern "C" void frameSetRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    ActiveFrame &f = *tActive;
    if (f.calls) f.calls->push_back({HostCall::Kind::SetRGB, x, y, {rgb[0], rgb[1], rgb[2]}});
    if (!inside(f, x, y)) {
        ++f.report.outOfFrameWrites;
        return;
    }
    uint8_t *pixel = f.output->at(x, y);
    pixel[0] = rgb[0];
    pixel[1] = rgb[1];
    pixel[2] = rgb[2];
}

extern "C" void frameSetAlpha(int32_t x, int32_t y, uint8_t alpha) {
    ActiveFrame &f = *tActive;
    if (f.calls) f.calls->push_back({HostCall::Kind::SetAlpha, x, y, {alpha, 0, 0}});
    if (!inside(f, x, y)) {
        ++f.report.outOfFrameWrites;
        return;
    }
    f.output->at(x, y)[3] = alpha;
}

extern "C" void monitorInit(void *data, int32_t total) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.calls) f.calls->push_back({HostCall::Kind::MonitorInit, total, 0, {}});
    if (f.progress) f.progress->init(total);
}

extern "C" int32_t monitorStep(void *data, int32_t amount) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.calls) f.calls->push_back({HostCall::Kind::MonitorStep, amount, 0, {}});
    if (f.progress) f.progress->step(amount);
    return 0;
}

extern "C" void monitorDone(void *data) {
    ActiveFrame &f = *static_cast<ActiveFrame *>(data);
    if (f.calls) f.calls->push_back({HostCall::Kind::MonitorDone, 0, 0, {}});
    if (f.progress) f.progress->done();
}

// Splits interleaved RGBA into four planes so each row fetch is one pointer.
void splitPlanes(const RgbaImage &source, std::vector<uint8_t> &planes) {
    const size_t count = static_cast<size_t>(source.width) * source.height;
    planes.resize(count * 4);
    const uint8_t *in = source.pixels.data();
    for (size_t i = 0; i < count; ++i)
        for (size_t c = 0; c < 4; ++c) planes[c * count + i] = in[i * 4 + c];
}

} // namespace

FrameReport runFrame(ProcessFunction process, void *instance, const RgbaImage &source, RgbaImage &output,
                     const FrameOptions &options) {
    ActiveFrame frame{source.width, source.height, {}, {}, &output, options.calls, options.progress, {}};
    splitPlanes(source, frame.planes);
    frame.zeroRow.assign(static_cast<size_t>(std::max(source.width, 1)), 0);
    output = RgbaImage(source.width, source.height);

    ProgressMonitor monitor{&frame, monitorInit, monitorStep, monitorDone};
    FrameAccess access{};
    access.width = source.width;
    access.height = source.height;
    access.frame = options.frame;
    access.time = options.time;
    access.getLine = frameGetLine;
    access.setRGB = frameSetRGB;
    access.setAlpha = frameSetAlpha;
    access.monitor = options.withMonitor ? &monitor : nullptr;

    ActiveFrame *previous = tActive;
    tActive = &frame;
    process(instance, &access);
    tActive = previous;
    return frame.report;
}

} // namespace kivo::host
