// kivo_vidmixer.so, a frei0r filter: one more host of the module. It opens
// kivo_vidmixer.p through its descriptor with the host core, gives each
// frei0r instance a module instance, sets that instance's settings through
// the module's load callback and runs each frame through its process
// callback, as a frame that stands alone: numbered by its time in
// milliseconds and independent of the frames run before it. The fade reaches
// the module as a control item whose scale the plug-in sets to the fade
// parameter.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frei0r/param_table.h"
#include "host/core/frame_runner.h"
#include "host/core/frame_time.h"
#include "host/core/host_session.h"
#include "host/core/settings_codec.h"

namespace {

using kivo::frei0r::Param;
using kivo::frei0r::paramAt;
using kivo::frei0r::paramCount;

constexpr char kModuleVariable[] = "KIVO_VIDMIXER_MODULE";
constexpr char kModuleFile[] = "kivo_vidmixer.p";
constexpr int32_t kFadeItem = 1; // the control item every instance fades by
static_assert(std::endian::native == std::endian::little, "frames are read as little-endian RGBA words");

// The module's generator is shared by all its instances, and the item service
// and frame callbacks are process-wide, so every call into the module runs
// under one lock.
struct Runtime {
    std::mutex mutex;
    std::unique_ptr<kivo::host::HostSession> session;
    double itemFade = -1.0; // the fade the control item holds now; -1: not set yet
    double autoTimeUnit = kivo::frei0r::detectedTimeUnit();
    // What has been said once: each parameter's first refused value, the
    // first bad time, the first frame seen in strips.
    std::vector<bool> said = std::vector<bool>(static_cast<size_t>(paramCount()) + 2, false);

    // The host core's service registry is made first (a lookup makes it), so
    // that it is still there when the session leaves it at unload.
    Runtime() { kivo::host::hostGlobalLookup("", 0); }
};

Runtime &runtime() {
    static Runtime instance;
    return instance;
}

// Where the module file is: the environment variable, or beside this file.
std::string modulePath() {
    if (const char *path = std::getenv(kModuleVariable); path != nullptr && *path != '\0') return path;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&f0r_construct), &info) != 0 && info.dli_fname != nullptr) {
        std::string self = info.dli_fname;
        const size_t slash = self.find_last_of('/');
        if (slash != std::string::npos) return self.substr(0, slash + 1) + kModuleFile;
    }
    return kModuleFile;
}

constexpr size_t kSaidTime = 0, kSaidStrips = 1, kSaidParams = 2; // indices into Runtime::said

// Prints one line, the first time only for each thing said.
void sayOnce(Runtime &rt, size_t what, const std::string &line) {
    if (rt.said[what]) return;
    rt.said[what] = true;
    std::fprintf(stderr, "kivo_vidmixer: %s\n", line.c_str());
}

struct Instance {
    kivo::host::HostSession::Instance module{nullptr, nullptr};
    unsigned width = 0, height = 0;
    kivo::frei0r::ParamValues values;
    bool pending = true; // values.settings not yet loaded into the module
    kivo::host::RgbaImage source, output;
    int32_t frameNumber = 0; // of the last good time
    // The last update, to tell strips of one frame: MLT's slice threading
    // hands the strips of a frame, one below the other in one buffer, to an
    // instance made at a strip's height, with one time.
    double lastTime = -1.0;
    const uint32_t *lastInput = nullptr;
    bool onStrips = false;
};

// True when this update is another strip of the frame of the last one: the
// same time, and an input a whole number of strips away, whichever strips
// the host's threads run first.
bool isAnotherStrip(const Instance &instance, double time, const uint32_t *input) {
    constexpr uintptr_t kMostStrips = 256;
    const uintptr_t strip = uintptr_t{instance.width} * instance.height * 4;
    if (time != instance.lastTime || instance.lastInput == nullptr || strip == 0) return false;
    const auto here = reinterpret_cast<uintptr_t>(input), last = reinterpret_cast<uintptr_t>(instance.lastInput);
    const uintptr_t apart = here > last ? here - last : last - here;
    return apart != 0 && apart % strip == 0 && apart / strip < kMostStrips;
}

// The frame number for a host time; a bad time keeps the last good one.
int32_t frameNumberFor(Runtime &rt, Instance &instance, double time) {
    const double unit = instance.values.timeUnit > 0.0 ? instance.values.timeUnit : rt.autoTimeUnit;
    if (const std::optional<int32_t> number = kivo::host::frameNumberOfMilliseconds(time * unit * 1000.0))
        return instance.frameNumber = *number;
    char line[200];
    std::snprintf(line, sizeof line,
                  "time: %g is not a time from 0 to 24 days; the frame keeps the number of the last good time (%d)",
                  time, instance.frameNumber);
    sayOnce(rt, kSaidTime, line);
    return instance.frameNumber;
}

// Loads the instance's settings into its module instance when they changed.
void applySettings(Runtime &rt, Instance &instance) {
    if (!instance.pending) return;
    rt.session->load(instance.module.get(), kivo::host::settingsRecord(instance.values.settings));
    instance.pending = false;
}

// The module's own view of the settings, read back through its save callback.
void readSettings(Runtime &rt, Instance &instance) {
    applySettings(rt, instance);
    instance.values.settings = kivo::host::wholeSettings(rt.session->save(instance.module.get()));
}

void reportFailure(const char *what) { std::fprintf(stderr, "kivo_vidmixer: %s\n", what); }

} // namespace

// The frei0r entry points are the plug-in's only visible symbols.
#pragma GCC visibility push(default)
extern "C" {

int f0r_init() { return 1; }

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t *info) {
    info->name = kivo::frei0r::kPluginName;
    info->author = kivo::frei0r::kPluginTitle;
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 2;
    info->num_params = paramCount();
    info->explanation = kivo::frei0r::kPluginExplanation;
}

void f0r_get_param_info(f0r_param_info_t *info, int index) {
    if (index < 0 || index >= paramCount()) return;
    const Param &param = paramAt(index);
    info->name = param.name;
    info->type = kivo::frei0r::paramType(param.kind);
    info->explanation = param.explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    try {
        if (!rt.session) {
            rt.session = std::make_unique<kivo::host::HostSession>(modulePath());
            rt.itemFade = -1.0;
        }
        auto instance = std::make_unique<Instance>();
        instance->module = rt.session->createInstance();
        instance->width = width;
        instance->height = height;
        const kivo::host::StoredSettings saved = kivo::host::wholeSettings(rt.session->save(instance->module.get()));
        instance->values = kivo::frei0r::newParamValues(saved, kFadeItem);
        applySettings(rt, *instance);
        return instance.release();
    } catch (const std::exception &error) {
        reportFailure(error.what());
    } catch (...) {
        reportFailure("cannot load the module");
    }
    return nullptr;
}

void f0r_destruct(f0r_instance_t handle) {
    if (handle == nullptr) return;
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    delete static_cast<Instance *>(handle);
}

void f0r_set_param_value(f0r_instance_t handle, f0r_param_t value, int index) {
    if (handle == nullptr || value == nullptr || index < 0 || index >= paramCount()) return;
    Instance &instance = *static_cast<Instance *>(handle);
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    // Settings reach the module before the next frame, and only when one changed.
    std::string why;
    switch (kivo::frei0r::setParamValue(paramAt(index), instance.values, value, why)) {
    case kivo::frei0r::SetResult::Changed: instance.pending = true; break;
    case kivo::frei0r::SetResult::Refused:
        sayOnce(rt, kSaidParams + static_cast<size_t>(index), std::string(paramAt(index).name) + ": " + why);
        break;
    case kivo::frei0r::SetResult::Kept: break;
    }
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t value, int index) {
    if (handle == nullptr || value == nullptr || index < 0 || index >= paramCount()) return;
    Instance &instance = *static_cast<Instance *>(handle);
    const Param &param = paramAt(index);
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    try {
        if (kivo::frei0r::showsSettings(param)) readSettings(rt, instance);
        kivo::frei0r::getParamValue(param, instance.values, value);
    } catch (const std::exception &error) {
        reportFailure(error.what()); // the value is left as it was
    } catch (...) {
        reportFailure("cannot read the module's settings");
    }
}

void f0r_update(f0r_instance_t handle, double time, const uint32_t *inframe, uint32_t *outframe) {
    if (handle == nullptr || inframe == nullptr || outframe == nullptr) return;
    Instance &instance = *static_cast<Instance *>(handle);
    const size_t count = static_cast<size_t>(instance.width) * instance.height;
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    if (isAnotherStrip(instance, time, inframe)) instance.onStrips = true;
    instance.lastTime = time;
    instance.lastInput = inframe;
    if (instance.onStrips) {
        // A whole-frame look cannot be made from strips: the frame passes
        // through unchanged, and the user is told how to get the look.
        sayOnce(rt, kSaidStrips,
                "the host runs this filter on strips of the frame (MLT's \"threads\" property on the filter), "
                "which cannot give the look: frames pass through unchanged; remove the filter's \"threads\" "
                "property (or set threads=1)");
        std::memmove(outframe, inframe, count * 4);
        return;
    }
    try {
        applySettings(rt, instance);
        if (instance.values.fade != rt.itemFade) {
            const double f = instance.values.fade;
            rt.session->items().setItem({kFadeItem, "fade", {{0.0, {0.0, 0.0, 0.0}, {f, f, f}}}});
            rt.itemFade = f;
        }
        rt.session->items().clearCalls();

        instance.source.width = static_cast<int32_t>(instance.width);
        instance.source.height = static_cast<int32_t>(instance.height);
        instance.source.pixels.resize(count * 4);
        std::memcpy(instance.source.pixels.data(), inframe, count * 4);

        kivo::host::FrameOptions options;
        options.frame = frameNumberFor(rt, instance, time);
        options.time = options.frame / 1000.0;
        kivo::host::runStandAloneFrame(rt.session->handler().process, instance.module.get(), instance.source,
                                       instance.output, options);

        // Colour as the module wrote it; alpha as it came in. Pixels are RGBA
        // bytes, so alpha is the top byte of each little-endian word.
        const auto *rgb = reinterpret_cast<const uint32_t *>(instance.output.pixels.data());
        const auto *alpha = reinterpret_cast<const uint32_t *>(instance.source.pixels.data());
        for (size_t i = 0; i < count; ++i) outframe[i] = (rgb[i] & 0x00FFFFFFu) | (alpha[i] & 0xFF000000u);
    } catch (const std::exception &error) {
        reportFailure(error.what());
        std::memmove(outframe, inframe, count * 4);
    }
}

void f0r_update2(f0r_instance_t handle, double time, const uint32_t *inframe1, const uint32_t * /*inframe2*/,
                 const uint32_t * /*inframe3*/, uint32_t *outframe) {
    f0r_update(handle, time, inframe1, outframe);
}

} // extern "C"
#pragma GCC visibility pop
