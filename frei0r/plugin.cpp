// kivo_vidmixer.so, a frei0r filter: one more host of the module. It opens
// kivo_vidmixer.p through its descriptor with the host core, gives each
// frei0r instance a module instance, sets that instance's settings through
// the module's load callback and runs each frame through its process
// callback. The fade reaches the module as a control item whose scale the
// plug-in sets to the fade parameter.
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

#include "frei0r/param_table.h"
#include "host/core/frame_runner.h"
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

struct Instance {
    kivo::host::HostSession::Instance module{nullptr, nullptr};
    unsigned width = 0, height = 0;
    kivo::frei0r::ParamValues values;
    bool pending = true; // values.settings not yet loaded into the module
    kivo::host::RgbaImage source, output;
};

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
    info->name = "kivo_vidmixer";
    info->author = "Kivo Video Mixer";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 2;
    info->num_params = paramCount();
    info->explanation = "Blends the picture towards static, a colour, aged black-and-white film or its negative";
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
    if (kivo::frei0r::setParamValue(paramAt(index), instance.values, value)) instance.pending = true;
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
    Runtime &rt = runtime();
    std::lock_guard lock(rt.mutex);
    try {
        applySettings(rt, instance);
        if (instance.values.fade != rt.itemFade) {
            const double f = instance.values.fade;
            rt.session->items().setItem({kFadeItem, "fade", {{0.0, {0.0, 0.0, 0.0}, {f, f, f}}}});
            rt.itemFade = f;
        }
        rt.session->items().clearCalls();

        const size_t count = static_cast<size_t>(instance.width) * instance.height;
        instance.source.width = static_cast<int32_t>(instance.width);
        instance.source.height = static_cast<int32_t>(instance.height);
        instance.source.pixels.resize(count * 4);
        std::memcpy(instance.source.pixels.data(), inframe, count * 4);

        const kivo::frei0r::ParamValues &values = instance.values;
        const double unit = values.timeUnit > 0.0 ? values.timeUnit : rt.autoTimeUnit;
        kivo::host::FrameOptions options;
        options.frame = kivo::frei0r::frameNumberOf(time, unit, values.fps);
        options.time = options.frame / values.fps;
        kivo::host::runFrame(rt.session->handler().process, instance.module.get(), instance.source, instance.output,
                             options);

        // Colour as the module wrote it; alpha as it came in. Pixels are RGBA
        // bytes, so alpha is the top byte of each little-endian word.
        const auto *rgb = reinterpret_cast<const uint32_t *>(instance.output.pixels.data());
        const auto *alpha = reinterpret_cast<const uint32_t *>(instance.source.pixels.data());
        for (size_t i = 0; i < count; ++i) outframe[i] = (rgb[i] & 0x00FFFFFFu) | (alpha[i] & 0xFF000000u);
    } catch (const std::exception &error) {
        reportFailure(error.what());
        std::memmove(outframe, inframe, static_cast<size_t>(instance.width) * instance.height * 4);
    }
}

void f0r_update2(f0r_instance_t handle, double time, const uint32_t *inframe1, const uint32_t * /*inframe2*/,
                 const uint32_t * /*inframe3*/, uint32_t *outframe) {
    f0r_update(handle, time, inframe1, outframe);
}

} // extern "C"
#pragma GCC visibility pop
