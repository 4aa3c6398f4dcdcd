#include "module/settings_table.h"

#include <cstring>

const SettingInfo *findSetting(const char *name) {
    for (const SettingInfo &setting : kSettings)
        if (std::strcmp(setting.name, name) == 0) return &setting;
    return nullptr;
}
