#include "tests/support/recorded_frame.h"

namespace kivo::test {
namespace {

// The callbacks take no context, so the recording in progress is kept here.
struct Recording {
    ProcessFunction process = nullptr;
    const FrameAccess *access = nullptr; // the host's own callbacks
    std::vector<HostCall> *calls = nullptr;
};
thread_local Recording tRecording;

const uint8_t *recordGetLine(int32_t type, int32_t y) {
    tRecording.calls->push_back({HostCall::Kind::GetLine, type, y, {}});
    return tRecording.access->getLine(type, y);
}

void recordSetRGB(int32_t x, int32_t y, const uint8_t rgb[3]) {
    tRecording.calls->push_back({HostCall::Kind::SetRGB, x, y, {rgb[0], rgb[1], rgb[2]}});
    tRecording.access->setRGB(x, y, rgb);
}

void recordSetAlpha(int32_t x, int32_t y, uint8_t alpha) {
    tRecording.calls->push_back({HostCall::Kind::SetAlpha, x, y, {alpha, 0, 0}});
    tRecording.access->setAlpha(x, y, alpha);
}

void recordInit(void *data, int32_t total) {
    tRecording.calls->push_back({HostCall::Kind::MonitorInit, total, 0, {}});
    const ProgressMonitor *host = static_cast<const ProgressMonitor *>(data);
    host->init(host->data, total);
}

int32_t recordStep(void *data, int32_t amount) {
    tRecording.calls->push_back({HostCall::Kind::MonitorStep, amount, 0, {}});
    const ProgressMonitor *host = static_cast<const ProgressMonitor *>(data);
    return host->step(host->data, amount);
}

void recordDone(void *data) {
    tRecording.calls->push_back({HostCall::Kind::MonitorDone, 0, 0, {}});
    const ProgressMonitor *host = static_cast<const ProgressMonitor *>(data);
    host->done(host->data);
}

void recordingProcess(void *instance, const FrameAccess *access) {
    FrameAccess wrapped = *access;
    wrapped.getLine = recordGetLine;
    wrapped.setRGB = recordSetRGB;
    wrapped.setAlpha = recordSetAlpha;
    ProgressMonitor monitor{};
    if (access->monitor != nullptr) {
        monitor = ProgressMonitor{access->monitor, recordInit, recordStep, recordDone};
        wrapped.monitor = &monitor;
    }
    tRecording.access = access;
    tRecording.process(instance, &wrapped);
}

} // namespace

host::FrameReport runRecordedFrame(ProcessFunction process, void *instance, const host::RgbaImage &source,
                                   host::RgbaImage &output, const host::FrameOptions &options,
                                   std::vector<HostCall> &calls) {
    const Recording previous = tRecording;
    tRecording = Recording{process, nullptr, &calls};
    const host::FrameReport report = host::runFrame(recordingProcess, instance, source, output, options);
    tRecording = previous;
    return report;
}

} // namespace kivo::test
