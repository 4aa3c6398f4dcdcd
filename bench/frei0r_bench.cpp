// Cost per frame of the frei0r plug-in against vidmixer's frame pass, on a
// 1920 x 1080 frame at fade 0.5. Each iteration runs the frame through the
// host core as vidmixer does (a scene filter on the loaded module) and then
// through the plug-in's f0r_update, and reports the plug-in's time as a
// multiple of vidmixer's ("x_vidmixer"), both in thread CPU time.
//
//   cmake --build build --target frei0r_bench && build/bench/frei0r_bench
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "bench/bench_picture.h"
#include "host/core/frame_runner.h"
#include "host/core/host_session.h"

namespace {

using kivo::host::HostSession;
using kivo::host::RgbaImage;

using kivo::bench::kHeight;
using kivo::bench::kWidth;
using kivo::bench::picture;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// vidmixer's side opens its own copy of the module file, so that the
// plug-in's module (the built one, beside it) keeps its own services.
HostSession &session() {
    static std::unique_ptr<HostSession> host = [] {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("kivo-frei0r-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(KIVO_MODULE_FILE, folder / "kivo_vidmixer.p",
                                   std::filesystem::copy_options::overwrite_existing);
        auto h = std::make_unique<HostSession>((folder / "kivo_vidmixer.p").string());
        std::filesystem::remove_all(folder); // stays mapped
        h->items().setItem({1, "fade", {{0.0, {0, 0, 0}, {0.5, 0.5, 0.5}}}});
        return h;
    }();
    return *host;
}

struct Plugin {
    void *handle = dlopen(KIVO_FREI0R_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
    template <typename F> F get(const char *name) {
        if (handle == nullptr) throw std::runtime_error(dlerror());
        return reinterpret_cast<F>(dlsym(handle, name));
    }
};

void compare(benchmark::State &state, const char *look, int effect) {
    HostSession &host = session();
    HostSession::Instance instance = host.createInstance();
    const std::string text = "1 1 1 0 0 1 0 " + std::to_string(effect) + " 255 255 255 0 0 0 0 0 0 1";
    std::vector<uint8_t> record(128, 0);
    std::copy(text.begin(), text.end(), record.begin());
    host.load(instance.get(), record);

    static Plugin plugin;
    auto construct = plugin.get<decltype(&f0r_construct)>("f0r_construct");
    auto setParam = plugin.get<decltype(&f0r_set_param_value)>("f0r_set_param_value");
    auto update = plugin.get<decltype(&f0r_update)>("f0r_update");
    auto destruct = plugin.get<decltype(&f0r_destruct)>("f0r_destruct");
    f0r_instance_t filter = construct(kWidth, kHeight);
    if (filter == nullptr) {
        state.SkipWithError("the plug-in could not load the module");
        return;
    }
    double fade = 0.5, unit = 1.0;
    setParam(filter, &look, 0);
    setParam(filter, &fade, 1);
    setParam(filter, &unit, 3);

    const auto *in = reinterpret_cast<const uint32_t *>(picture().pixels.data());
    std::vector<uint32_t> out(static_cast<size_t>(kWidth) * kHeight);
    RgbaImage output;
    double vidmixerSeconds = 0.0, pluginSeconds = 0.0;
    int32_t frame = 0;
    for (auto _ : state) {
        kivo::host::FrameOptions options;
        options.frame = frame;
        options.time = frame / 24.0;
        double start = threadSeconds();
        kivo::host::runFrame(host.handler().process, instance.get(), picture(), output, options);
        benchmark::DoNotOptimize(output.pixels.data());
        vidmixerSeconds += threadSeconds() - start;

        start = threadSeconds();
        update(filter, frame / 24.0, in, out.data());
        benchmark::DoNotOptimize(out.data());
        const double s = threadSeconds() - start;
        pluginSeconds += s;
        state.SetIterationTime(s);
        ++frame;
    }
    destruct(filter);
    const double frames = static_cast<double>(state.iterations());
    state.counters["plugin_ms"] = pluginSeconds / frames * 1e3;
    state.counters["vidmixer_ms"] = vidmixerSeconds / frames * 1e3;
    state.counters["x_vidmixer"] = pluginSeconds / vidmixerSeconds;
}

void Static(benchmark::State &state) { compare(state, "static", 0); }
void Film(benchmark::State &state) { compare(state, "film", 2); }

// Times are the plug-in's thread CPU time per frame.
BENCHMARK(Static)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Film)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
