// Megapixels per second of the filter's frame pass on a 1920 x 1080 frame,
// run through the host core the way the stand-in host runs it, for each look
// and for a floor: a pass that makes the same host calls (four row fetches
// per row visit, colour and alpha per pixel) with a constant colour. Each
// look reports its time per frame as a multiple of the floor's ("x_floor"),
// measured frame by frame alongside it (the median of the frame pairs).
//
//   cmake --build build --target frame_pass_bench && build/bench/frame_pass_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <vector>

#include "bench/bench_picture.h"
#include "host/core/frame_runner.h"
#include "host/core/host_session.h"
#include "instance/mixer_instance.h"

namespace {

using kivo::host::HostSession;
using kivo::host::RgbaImage;

using kivo::bench::kHeight;
using kivo::bench::kWidth;
using kivo::bench::picture;
constexpr int32_t kFader = 1;

HostSession &session() {
    static std::unique_ptr<HostSession> host = [] {
        // The frame runner allocates its planes and output image per frame;
        // keeping freed memory in the heap leaves page faults out of the
        // figures, which otherwise land on alternate frames.
        mallopt(M_MMAP_THRESHOLD, 256 << 20);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        auto h = std::make_unique<HostSession>(KIVO_MODULE_FILE);
        // Scale (0.5, 0.5, 0.5): every frame blends half way.
        h->items().setItem({kFader, "fader", {{0.0, {0, 0, 0}, {0.5, 0.5, 0.5}}}});
        return h;
    }();
    return *host;
}

// The floor: the frame pass's host calls for grain 1 x 1 and nothing else.
void floorPass(void *, const FrameAccess *access) {
    static const uint8_t grey[3] = {128, 128, 128};
    for (int32_t y = 0; y < access->height; ++y)
        for (int32_t x = 0; x < access->width; ++x) {
            access->getLine(RTYPE_RED, y);
            access->getLine(RTYPE_GREEN, y);
            access->getLine(RTYPE_BLUE, y);
            const uint8_t *alpha = access->getLine(RTYPE_ALPHA, y);
            access->setRGB(x, y, grey);
            access->setAlpha(x, y, alpha[x]);
        }
}

// CPU time of this thread: unaffected by waiting for a shared core.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One frame through process; returns its thread CPU time.
double timeFrame(ProcessFunction process, void *instance, int32_t frame, RgbaImage &output) {
    kivo::host::FrameOptions options;
    options.frame = frame;
    const double start = threadSeconds();
    kivo::host::runFrame(process, instance, picture(), output, options);
    benchmark::DoNotOptimize(output.pixels.data());
    return threadSeconds() - start;
}

double megapixelsPerSecond(double secondsPerFrame) { return kWidth * kHeight * 1e-6 / secondsPerFrame; }

void Floor(benchmark::State &state) {
    session();
    RgbaImage output;
    double seconds = 0.0;
    int32_t frame = 0;
    for (auto _ : state) {
        const double s = timeFrame(floorPass, nullptr, frame++, output);
        seconds += s;
        state.SetIterationTime(s);
    }
    state.counters["Mpx/s"] = megapixelsPerSecond(seconds / static_cast<double>(state.iterations()));
}

// Each iteration runs a floor frame and then the look's frame, so that the
// ratio compares the two under the same load; the reported time is the look's.
// x_floor is the median of the frame pairs' ratios: on a shared machine a
// burst of load that lands on a few frames moves a sum, not the median.
void runLookFrames(benchmark::State &state, ProcessFunction process, void *instance) {
    RgbaImage output;
    double lookSeconds = 0.0;
    double floorSeconds = 0.0;
    std::vector<double> ratios;
    ratios.reserve(4096);
    int32_t frame = 0;
    for (auto _ : state) {
        const double floor = timeFrame(floorPass, nullptr, frame, output);
        const double s = timeFrame(process, instance, frame++, output);
        floorSeconds += floor;
        lookSeconds += s;
        if (ratios.size() < ratios.capacity()) ratios.push_back(s / floor);
        state.SetIterationTime(s);
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["Mpx/s"] = megapixelsPerSecond(lookSeconds / frames);
    state.counters["floor_Mpx/s"] = megapixelsPerSecond(floorSeconds / frames);
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    state.counters["x_floor"] = ratios[ratios.size() / 2];
}

// A look: settings applied to a new instance of the loaded module.
template <class Configure>
void runLook(benchmark::State &state, Configure configure) {
    HostSession &host = session();
    HostSession::Instance instance = host.createInstance();
    MixerInstance &m = *static_cast<MixerInstance *>(instance.get());
    m.controlItem = kFader;
    configure(m);
    runLookFrames(state, host.handler().process, instance.get());
}

void filmEverything(MixerInstance &m) {
    m.effect = EFFECT_FILM;
    m.filmQuality = FILM_OLD_N_DUSTY;
    m.sprocketJump = m.whiteOut = m.sepia = m.vignette = 1;
}

void Static(benchmark::State &state) {
    runLook(state, [](MixerInstance &m) { m.effect = EFFECT_STATIC; });
}
void Rgb(benchmark::State &state) {
    runLook(state, [](MixerInstance &m) { m.effect = EFFECT_RGB, m.mixRed = 200, m.mixGreen = 90, m.mixBlue = 30; });
}
void Negative(benchmark::State &state) {
    runLook(state, [](MixerInstance &m) { m.effect = EFFECT_NEGATIVE; });
}
void FilmWithoutSmear(benchmark::State &state) { runLook(state, filmEverything); }
void FilmWithSmear(benchmark::State &state) {
    const int32_t displacement = static_cast<int32_t>(state.range(0));
    runLook(state, [displacement](MixerInstance &m) {
        filmEverything(m);
        m.outOfFocus = 1;
        m.focalDisplacement = displacement;
    });
}

// Times are thread CPU time per frame.
BENCHMARK(Floor)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Static)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Rgb)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Negative)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(FilmWithoutSmear)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(FilmWithSmear)->Arg(1)->Arg(16)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
