// Loads the frei0r plug-in the way a frei0r host does: dlopen, f0r_init, the
// f0r_* entry points and f0r_deinit before dlclose. A fresh copy can be made
// in a private folder, so a test gets its own plug-in and module state
// whatever ran before it in the process.
#ifndef KIVO_TESTS_FREI0R_PLUGIN_FIXTURE_H
#define KIVO_TESTS_FREI0R_PLUGIN_FIXTURE_H

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace kivo::test {

struct Frei0rPlugin {
    void *handle = nullptr;
    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) getPluginInfo;
    decltype(&f0r_get_param_info) getParamInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParam;
    decltype(&f0r_get_param_value) getParam;
    decltype(&f0r_update) update;
    decltype(&f0r_update2) update2;

    explicit Frei0rPlugin(const std::string &path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        bind(init, "f0r_init");
        bind(deinit, "f0r_deinit");
        bind(getPluginInfo, "f0r_get_plugin_info");
        bind(getParamInfo, "f0r_get_param_info");
        bind(construct, "f0r_construct");
        bind(destruct, "f0r_destruct");
        bind(setParam, "f0r_set_param_value");
        bind(getParam, "f0r_get_param_value");
        bind(update, "f0r_update");
        bind(update2, "f0r_update2");
        if (init() != 1) throw std::runtime_error("f0r_init failed");
    }
    ~Frei0rPlugin() {
        deinit();
        dlclose(handle);
    }
    Frei0rPlugin(const Frei0rPlugin &) = delete;
    Frei0rPlugin &operator=(const Frei0rPlugin &) = delete;

    template <typename F> void bind(F &function, const char *name) {
        function = reinterpret_cast<F>(dlsym(handle, name));
        if (function == nullptr) throw std::runtime_error(std::string("missing ") + name);
    }

    f0r_plugin_info_t info() const {
        f0r_plugin_info_t info{};
        getPluginInfo(&info);
        return info;
    }
    f0r_param_info_t paramInfo(int index) const {
        f0r_param_info_t param{};
        getParamInfo(&param, index);
        return param;
    }
    int paramIndex(const std::string &name) const {
        for (int i = 0; i < info().num_params; ++i)
            if (name == paramInfo(i).name) return i;
        throw std::runtime_error("no parameter " + name);
    }
    void set(f0r_instance_t instance, const std::string &name, double value) const {
        setParam(instance, &value, paramIndex(name));
    }
    void setText(f0r_instance_t instance, const std::string &name, const char *text) const {
        setParam(instance, &text, paramIndex(name));
    }
};

// A private folder holding copies of the plug-in and, when asked, the module.
struct PluginCopy {
    std::filesystem::path folder;
    std::filesystem::path plugin;
    std::filesystem::path module;

    explicit PluginCopy(bool withModule) {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-frei0r-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        plugin = folder / "kivo_vidmixer.so";
        module = folder / "kivo_vidmixer.p";
        std::filesystem::copy_file(KIVO_FREI0R_PLUGIN_FILE, plugin);
        if (withModule) std::filesystem::copy_file(KIVO_MODULE_FILE, module);
    }
    ~PluginCopy() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

// An RGBA frame with varied colours and alpha, different for each seed.
inline std::vector<uint32_t> testFrame(unsigned width, unsigned height, unsigned seed) {
    std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
    uint32_t state = seed * 2654435761u + 1;
    for (uint32_t &pixel : frame) {
        state = state * 1664525u + 1013904223u;
        pixel = state;
    }
    return frame;
}

} // namespace kivo::test

#endif
