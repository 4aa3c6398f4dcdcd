// Megapixels per second of the filter's frame pass, run through the host core
// the way the stand-in host runs it, for each look and for a floor: a pass
// that makes the same host calls (four row fetches per row visit, colour and
// alpha per pixel) with a constant colour. Each look reports its time per
// frame as a multiple of the floor's ("x_floor"), measured frame by frame
// alongside it (the median of the frame pairs).
//
// Every look runs at each size of a sweep from 640 x 360 to 7680 x 4320, all
// looks of one size together; at the end a table gives each look's Mpx/s and
// x_floor by size, and how far its x_floor lies from its own at 1920 x 1080.
//
//   cmake --build build --target frame_pass_bench && build/bench/frame_pass_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_picture.h"
#include "host/core/frame_runner.h"
#include "host/core/host_session.h"
#include "instance/mixer_instance.h"

namespace {

using kivo::host::HostSession;
using kivo::host::RgbaImage;

using kivo::bench::picture;
constexpr int32_t kFader = 1;

struct Size {
    int32_t width;
    int32_t height;
    double minSeconds; // of the look's frames: enough for a median of several
};
constexpr Size kSizes[] = {{640, 360, 1.0}, {1920, 1080, 1.0}, {3840, 2160, 2.0}, {7680, 4320, 4.0}};
constexpr int kSizeCount = sizeof kSizes / sizeof kSizes[0];
constexpr int kReferenceSize = 1; // 1920 x 1080

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

// One frame of the size's picture through process; returns its thread CPU time.
double timeFrame(ProcessFunction process, void *instance, int32_t frame, Size size, RgbaImage &output) {
    const RgbaImage &source = picture(size.width, size.height);
    kivo::host::FrameOptions options;
    options.frame = frame;
    const double start = threadSeconds();
    kivo::host::runFrame(process, instance, source, output, options);
    benchmark::DoNotOptimize(output.pixels.data());
    return threadSeconds() - start;
}

double megapixelsPerSecond(double secondsPerFrame, Size size) {
    return static_cast<double>(size.width) * size.height * 1e-6 / secondsPerFrame;
}

// A look: its name and its settings on a new instance of the loaded module.
struct Look {
    const char *name;
    void (*configure)(MixerInstance &);
};

void filmEverything(MixerInstance &m) {
    m.effect = EFFECT_FILM;
    m.filmQuality = FILM_OLD_N_DUSTY;
    m.sprocketJump = m.whiteOut = m.sepia = m.vignette = 1;
}
template <int32_t Displacement>
void filmWithSmear(MixerInstance &m) {
    filmEverything(m);
    m.outOfFocus = 1;
    m.focalDisplacement = Displacement;
}

const Look kLooks[] = {
    {"Static", [](MixerInstance &m) { m.effect = EFFECT_STATIC; }},
    {"Rgb", [](MixerInstance &m) { m.effect = EFFECT_RGB, m.mixRed = 200, m.mixGreen = 90, m.mixBlue = 30; }},
    {"Negative", [](MixerInstance &m) { m.effect = EFFECT_NEGATIVE; }},
    {"FilmWithoutSmear", filmEverything},
    {"FilmWithSmear/d:1", filmWithSmear<1>},
    {"FilmWithSmear/d:16", filmWithSmear<16>},
    {"FilmWithSmear/d:100", filmWithSmear<100>},
};
constexpr int kLookCount = sizeof kLooks / sizeof kLooks[0];

// What each run measured, for the table at the end; row kLookCount is the floor.
struct Measured {
    double megapixels = 0.0;
    double xFloor = 0.0; // 0: not run
};
Measured gMeasured[kLookCount + 1][kSizeCount];

void Floor(benchmark::State &state, int sizeIndex) {
    session();
    const Size size = kSizes[sizeIndex];
    RgbaImage output;
    double seconds = 0.0;
    int32_t frame = 0;
    for (auto _ : state) {
        const double s = timeFrame(floorPass, nullptr, frame++, size, output);
        seconds += s;
        state.SetIterationTime(s);
    }
    const double mpx = megapixelsPerSecond(seconds / static_cast<double>(state.iterations()), size);
    state.counters["Mpx/s"] = mpx;
    gMeasured[kLookCount][sizeIndex] = {mpx, 1.0};
}

// Each iteration runs a floor frame and then the look's frame, so that the
// ratio compares the two under the same load; the reported time is the look's.
// x_floor is the median of the frame pairs' ratios: on a shared machine a
// burst of load that lands on a few frames moves a sum, not the median.
void LookFrames(benchmark::State &state, int lookIndex, int sizeIndex) {
    HostSession &host = session();
    HostSession::Instance instance = host.createInstance();
    MixerInstance &m = *static_cast<MixerInstance *>(instance.get());
    m.controlItem = kFader;
    kLooks[lookIndex].configure(m);

    const Size size = kSizes[sizeIndex];
    RgbaImage output;
    double lookSeconds = 0.0;
    double floorSeconds = 0.0;
    std::vector<double> ratios;
    ratios.reserve(4096);
    int32_t frame = 0;
    for (auto _ : state) {
        const double floor = timeFrame(floorPass, nullptr, frame, size, output);
        const double s = timeFrame(host.handler().process, instance.get(), frame++, size, output);
        floorSeconds += floor;
        lookSeconds += s;
        if (ratios.size() < ratios.capacity()) ratios.push_back(s / floor);
        state.SetIterationTime(s);
    }
    const double frames = static_cast<double>(state.iterations());
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    const double xFloor = ratios[ratios.size() / 2];
    state.counters["Mpx/s"] = megapixelsPerSecond(lookSeconds / frames, size);
    state.counters["floor_Mpx/s"] = megapixelsPerSecond(floorSeconds / frames, size);
    state.counters["x_floor"] = xFloor;
    gMeasured[lookIndex][sizeIndex] = {state.counters["Mpx/s"], xFloor};
}

std::string sizeName(const Size &size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

// Looks by size, as a Markdown table: Mpx/s, x_floor, and in brackets how
// far x_floor lies from the look's own at 1920 x 1080.
void printSweep() {
    std::printf("\n| look |");
    for (const Size &size : kSizes) std::printf(" %s |", sizeName(size).c_str());
    std::printf("\n|---|");
    for (int size = 0; size < kSizeCount; ++size) std::printf("---|");
    std::printf("\n");
    for (int look = 0; look <= kLookCount; ++look) {
        std::printf("| %s |", look == kLookCount ? "Floor" : kLooks[look].name);
        const double reference = gMeasured[look][kReferenceSize].xFloor;
        for (int size = 0; size < kSizeCount; ++size) {
            const Measured &m = gMeasured[look][size];
            if (m.xFloor == 0.0)
                std::printf(" - |");
            else if (look == kLookCount)
                std::printf(" %.1f Mpx/s |", m.megapixels);
            else if (reference == 0.0)
                std::printf(" %.1f Mpx/s, %.2fx |", m.megapixels, m.xFloor);
            else
                std::printf(" %.1f Mpx/s, %.2fx (%+.0f%%) |", m.megapixels, m.xFloor, (m.xFloor / reference - 1.0) * 100.0);
        }
        std::printf("\n");
    }
}

} // namespace

// Times are thread CPU time per frame. All looks of one size run together,
// the floor first, so that each size's tables are prepared once.
int main(int argc, char **argv) {
    for (int size = 0; size < kSizeCount; ++size) {
        const std::string suffix = "/" + sizeName(kSizes[size]);
        const double minSeconds = kSizes[size].minSeconds;
        benchmark::RegisterBenchmark(("Floor" + suffix).c_str(), Floor, size)
            ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(minSeconds);
        for (int look = 0; look < kLookCount; ++look)
            benchmark::RegisterBenchmark((kLooks[look].name + suffix).c_str(), LookFrames, look, size)
                ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(minSeconds);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSweep();
    return 0;
}
