#include "host/cli/instance_settings.h"

#include <charconv>
#include <string_view>

#include "host/core/settings_codec.h"

namespace kivo::cli {
namespace {

constexpr char kNoItem[] = "none";     // the word for control item 0
constexpr char kColourForm[] = "R,G,B"; // how a colour group's value is typed

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

bool sameWord(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string settingNames() {
    std::string names;
    for (int i = 0; i < kSettingCount; ++i) names += std::string(i ? ", " : "") + settingFacts(i).name;
    for (int i = 0; i < settingGroupCount(); ++i) names += ", " + std::string(settingGroup(i).name) + " (" + kColourForm + ")";
    return names;
}

std::string acceptedValues(const SettingFacts &facts) {
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice) {
        std::string words, items;
        for (int i = 0; i < valueNameCount(facts); ++i) {
            words += std::string(i ? ", " : "") + facts.valueNames[i];
            if (facts.items != nullptr && !sameWord(trimmed(facts.items[i]), facts.valueNames[i]))
                items += (items.empty() ? "" : ", ") + trimmed(facts.items[i]);
        }
        return items.empty() ? words : words + " (also " + items + ")";
    }
    if (facts.kind == SettingKind::SceneItem) return std::string(kNoItem) + ", 0 or the id or name of a scene item";
    return std::to_string(facts.minimum) + " to " + std::to_string(facts.maximum);
}

// What the frame pass makes of the value, in the panels' own words.
std::string meaningOf(const SettingFacts &facts, int32_t value, const scene::Scene &scene) {
    switch (facts.kind) {
    case SettingKind::Switch: return valueNameOf(facts, value);
    case SettingKind::Choice: {
        const int32_t acting = actingValue(facts, value);
        if (acting < 0) {
            std::string items;
            for (int i = 0; facts.items[i] != nullptr; ++i) items += (i ? ", " : "") + trimmed(facts.items[i]);
            return "outside " + items + ": no effect";
        }
        return trimmed(facts.items[acting]);
    }
    case SettingKind::SceneItem: {
        if (value == 0) return kNoItem;
        const scene::Item *item = scene.findItem(static_cast<uint32_t>(value));
        return item ? "\"" + item->name + "\"" : "not in the scene";
    }
    case SettingKind::Integer: break;
    }
    return "";
}

bool inRange(const SettingFacts &facts, int32_t value) { return value >= facts.minimum && value <= facts.maximum; }

bool namesAnItem(const scene::Scene *scene, int32_t value) {
    return value == 0 || scene == nullptr || scene->findItem(static_cast<uint32_t>(value)) != nullptr;
}

// The pair `set` takes for the value, or empty when it takes none.
std::string assignmentOf(const SettingFacts &facts, int32_t value, const scene::Scene &scene) {
    std::string word;
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice) {
        if (const char *name = valueNameOf(facts, value)) word = name;
    } else if (inRange(facts, value) && (facts.kind != SettingKind::SceneItem || namesAnItem(&scene, value))) {
        word = std::to_string(value);
    }
    return word.empty() ? word : std::string(facts.name) + "=" + word;
}

int32_t numberOf(const std::string &pair, const SettingFacts &facts, std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size())
        throw UsageError(pair + ": not a number; " + facts.name + " takes " + acceptedValues(facts));
    if (error == std::errc::result_out_of_range || !inRange(facts, value))
        throw UsageError(pair + ": out of range; " + facts.name + " takes " + acceptedValues(facts));
    return value;
}

// The control item a word names: "none", an id, or the name of a scene item
// (in double quotes or not).
int32_t itemOf(const std::string &pair, const SettingFacts &facts, std::string_view text,
               const scene::Scene *scene) {
    if (sameWord(text, kNoItem)) return 0;
    const std::vector<scene::Item> none;
    const std::vector<scene::Item> &sceneItems = scene != nullptr ? scene->items : none;
    std::string items;
    for (const scene::Item &item : sceneItems) items += ", " + std::to_string(item.id) + " (\"" + item.name + "\")";
    const std::string noSuchItem = pair + ": no such item; " + facts.name + " takes 0 (" + kNoItem + ")" + items;

    if (text.empty() || text.find_first_not_of("-0123456789") == std::string_view::npos) {
        const int32_t value = numberOf(pair, facts, text);
        if (!namesAnItem(scene, value)) throw UsageError(noSuchItem);
        return value;
    }
    std::string_view name = text;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const scene::Item *named = nullptr;
    for (const scene::Item &item : sceneItems) {
        if (item.name != name) continue;
        if (named != nullptr) throw UsageError(pair + ": more than one item has this name; give its id" + items);
        named = &item;
    }
    if (named == nullptr) throw UsageError(noSuchItem);
    return static_cast<int32_t>(named->id);
}

int32_t valueOf(const std::string &pair, const SettingFacts &facts, std::string_view text,
                const scene::Scene *scene) {
    switch (facts.kind) {
    case SettingKind::Switch:
    case SettingKind::Choice: {
        const int32_t value = valueNamed(facts, text);
        if (value < 0) throw UsageError(pair + ": unknown value; " + facts.name + " takes " + acceptedValues(facts));
        return value;
    }
    case SettingKind::SceneItem: return itemOf(pair, facts, text, scene);
    case SettingKind::Integer: break;
    }
    return numberOf(pair, facts, text);
}

// One value per member, separated by commas.
std::vector<SettingChange> groupChanges(const std::string &pair, const SettingGroup &group, std::string_view text,
                                        const scene::Scene *scene) {
    const SettingFacts *members[kSettingCount];
    groupMembers(group, members);
    const int count = groupSize(group.kind);
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (parts.size() != static_cast<size_t>(count))
        throw UsageError(pair + ": expected " + group.name + "=" + kColourForm + " with " + std::to_string(count) +
                         " numbers, each " + acceptedValues(*members[0]));
    std::vector<SettingChange> changes;
    for (int i = 0; i < count; ++i) changes.push_back({members[i], valueOf(pair, *members[i], parts[i], scene)});
    return changes;
}

} // namespace

std::vector<SettingView> instanceSettings(const host::HostSession &session, void *instance,
                                          const scene::Scene &scene) {
    const host::SavedSettings saved = host::savedSettings(session.save(instance));
    std::vector<SettingView> views;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        const std::optional<int32_t> value = saved[facts.storedPosition - 1];
        SettingView view{facts.name, value, "", ""};
        if (value) {
            view.meaning = meaningOf(facts, *value, scene);
            view.assignment = assignmentOf(facts, *value, scene);
        }
        views.push_back(view);
    }
    return views;
}

std::vector<SettingChange> parseSettingPair(const std::string &pair, const scene::Scene *scene) {
    const size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError(pair + ": expected NAME=VALUE; settings: " + settingNames());
    const std::string name = pair.substr(0, equals);
    const std::string_view text = std::string_view(pair).substr(equals + 1);
    if (const SettingGroup *group = findSettingGroup(name)) return groupChanges(pair, *group, text, scene);
    const SettingFacts *facts = findSettingFacts(name);
    if (facts == nullptr) throw UsageError(pair + ": no setting named \"" + name + "\"; settings: " + settingNames());
    return {{facts, valueOf(pair, *facts, text, scene)}};
}

void applySettings(const host::HostSession &session, void *instance, const std::vector<SettingChange> &changes) {
    host::StoredSettings settings = host::wholeSettings(session.save(instance));
    for (const SettingChange &change : changes) settings[change.setting->storedPosition - 1] = change.value;
    session.load(instance, host::settingsRecord(settings));

    const host::SavedSettings kept = host::savedSettings(session.save(instance));
    for (int position = 1; position <= kSettingCount; ++position)
        if (kept[position - 1] != settings[position - 1])
            throw std::runtime_error(std::string("the module did not keep ") + storedSettingFacts(position).name +
                                     "=" + std::to_string(settings[position - 1]));
}

} // namespace kivo::cli
