#include "instance/mixer_instance.h"

#include <cstdlib>
#include <cstring>

#include "instance/settings_table.h"

void *createInstance(void * /*hostData*/) {
    auto *instance = static_cast<MixerInstance *>(std::malloc(sizeof(MixerInstance)));
    if (instance == nullptr) return nullptr;
    for (const SettingInfo &setting : kSettings) instance->*setting.field = setting.facts.defaultValue;
    return instance;
}

void destroyInstance(void *instance) { std::free(instance); }

int32_t copyInstance(void *source, void *destination) {
    if (source != destination) std::memcpy(destination, source, sizeof(MixerInstance));
    return 0;
}

int32_t instanceFlags(void * /*instance*/) { return 0; }

const char *describeInstance(void *instance) {
    constexpr const SettingFacts &effect = settingOf(&MixerInstance::effect).facts;
    switch (actingValue(effect, static_cast<const MixerInstance *>(instance)->effect)) {
    case EFFECT_STATIC: return "Kivo Video Mixer (FX:STATIC)";
    case EFFECT_RGB: return "Kivo Video Mixer (FX:RGB)";
    case EFFECT_FILM: return "Kivo Video Mixer (FX:B&W FILM)";
    default: return "Kivo Video Mixer (FX:NEGATIVE)";
    }
}
