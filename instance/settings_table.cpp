#include "instance/settings_table.h"

#include <cstring>

const SettingInfo *findSetting(const char *name) {
    for (const SettingInfo &setting : kSettings)
        if (std::strcmp(setting.facts.name, name) == 0) return &setting;
    return nullptr;
}

namespace {
bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}
} // namespace

const SettingFacts &settingFacts(int index) { return kSettings[index].facts; }

const SettingFacts *findSettingFacts(std::string_view name) {
    for (const SettingInfo &setting : kSettings)
        if (sameWord(setting.facts.name, name)) return &setting.facts;
    return nullptr;
}

const char *valueNameOf(const SettingFacts &facts, int32_t value) {
    const int32_t acting = actingValue(facts, value);
    if (facts.valueNames == nullptr || acting < 0 || acting >= valueNameCount(facts)) return nullptr;
    return facts.valueNames[acting];
}

int32_t valueNamed(const SettingFacts &facts, std::string_view word) {
    for (int32_t value = 0; value < valueNameCount(facts); ++value)
        if (sameWord(facts.valueNames[value], word)) return value;
    return -1;
}
