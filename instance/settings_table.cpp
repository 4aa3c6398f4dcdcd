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

std::string_view withoutSurroundingSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}
} // namespace

const SettingFacts &settingFacts(int index) { return kSettings[index].facts; }

const SettingFacts *findSettingFacts(std::string_view name) {
    for (const SettingInfo &setting : kSettings)
        if (sameWord(setting.facts.name, name)) return &setting.facts;
    return nullptr;
}

const SettingFacts &storedSettingFacts(int position) { return kSettings[kStoredOrder[position - 1]].facts; }

int settingGroupCount() { return static_cast<int>(std::size(kSettingGroups)); }

const SettingGroup &settingGroup(int index) { return kSettingGroups[index]; }

const SettingGroup *findSettingGroup(std::string_view name) {
    for (const SettingGroup &group : kSettingGroups)
        if (sameWord(group.name, name)) return &group;
    return nullptr;
}

void groupMembers(const SettingGroup &group, const SettingFacts *members[]) {
    int found = 0;
    for (const SettingInfo &setting : kSettings)
        if (groupOf(setting.facts) == &group) members[found++] = &setting.facts;
}

const char *valueNameOf(const SettingFacts &facts, int32_t value) {
    const int32_t acting = actingValue(facts, value);
    if (facts.valueNames == nullptr || acting < 0 || acting >= valueNameCount(facts)) return nullptr;
    return facts.valueNames[acting];
}

int32_t valueNamed(const SettingFacts &facts, std::string_view word) {
    for (int32_t value = 0; value < valueNameCount(facts); ++value)
        if (sameWord(facts.valueNames[value], word) ||
            (facts.items != nullptr && sameWord(withoutSurroundingSpaces(facts.items[value]), word)))
            return value;
    return -1;
}
