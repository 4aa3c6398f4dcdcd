#include "host/cli/instance_settings.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace kivo::cli {
namespace {

constexpr char kMixName[] = "mix"; // the three colour components at once

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string settingNames() {
    std::string names;
    for (int i = 0; i < kSettingCount; ++i) names += std::string(i ? ", " : "") + settingFacts(i).name;
    return names + ", " + kMixName + " (R,G,B)";
}

std::string acceptedValues(const SettingFacts &facts) {
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice) {
        std::string words;
        for (int i = 0; i < valueNameCount(facts); ++i) words += std::string(i ? ", " : "") + facts.valueNames[i];
        return words;
    }
    std::string range = std::to_string(facts.minimum) + " to " + std::to_string(facts.maximum);
    if (facts.kind == SettingKind::SceneItem) range = "0 (none) or the id of a scene item";
    return range;
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
        if (value == 0) return "none";
        const scene::Item *item = scene.findItem(static_cast<uint32_t>(value));
        return item ? "\"" + item->name + "\"" : "not in the scene";
    }
    case SettingKind::Integer:
    case SettingKind::ColourComponent: break;
    }
    return "";
}

std::string assignmentOf(const SettingFacts &facts, int32_t value) {
    const char *word = valueNameOf(facts, value);
    return std::string(facts.name) + "=" + (word != nullptr ? word : std::to_string(value));
}

int32_t numberOf(const std::string &pair, const SettingFacts &facts, std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size())
        throw UsageError(pair + ": not a number; " + facts.name + " takes " + acceptedValues(facts));
    if (error == std::errc::result_out_of_range || value < facts.minimum || value > facts.maximum)
        throw UsageError(pair + ": out of range; " + facts.name + " takes " + acceptedValues(facts));
    return value;
}

int32_t valueOf(const std::string &pair, const SettingFacts &facts, std::string_view text,
                const scene::Scene *scene) {
    if (facts.kind == SettingKind::Switch || facts.kind == SettingKind::Choice) {
        const int32_t value = valueNamed(facts, text);
        if (value < 0) throw UsageError(pair + ": unknown value; " + facts.name + " takes " + acceptedValues(facts));
        return value;
    }
    const int32_t value = numberOf(pair, facts, text);
    if (facts.kind == SettingKind::SceneItem && value != 0 && scene != nullptr &&
        scene->findItem(static_cast<uint32_t>(value)) == nullptr) {
        std::string items;
        for (const scene::Item &item : scene->items)
            items += ", " + std::to_string(item.id) + " (\"" + item.name + "\")";
        throw UsageError(pair + ": no such item; " + facts.name + " takes 0 (none)" + items);
    }
    return value;
}

} // namespace

std::vector<std::optional<int32_t>> recordValues(const std::vector<uint8_t> &record) {
    std::vector<std::optional<int32_t>> values(kSettingCount);
    std::string_view text(reinterpret_cast<const char *>(record.data()), record.size());
    text = text.substr(0, text.find('\0'));
    // A text that fills the record was cut: its last number may be short.
    const bool cut = text.size() == record.size();
    for (int position = 0; position < kSettingCount && !text.empty(); ++position) {
        const size_t space = text.find(' ');
        if (space == std::string_view::npos && cut) break;
        const std::string_view number = text.substr(0, space);
        int32_t value = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error != std::errc() || end != number.data() + number.size()) break;
        values[position] = value;
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    return values;
}

std::vector<SettingView> instanceSettings(const host::HostSession &session, void *instance,
                                          const scene::Scene &scene) {
    const std::vector<std::optional<int32_t>> values = recordValues(session.save(instance));
    std::vector<SettingView> views;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingFacts &facts = settingFacts(i);
        const std::optional<int32_t> value = values[facts.storedPosition - 1];
        SettingView view{facts.name, value, "", ""};
        if (value) {
            view.meaning = meaningOf(facts, *value, scene);
            view.assignment = assignmentOf(facts, *value);
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

    if (lower(name) == kMixName) {
        std::vector<SettingChange> changes;
        std::string_view rest = text;
        for (int i = 0; i < kSettingCount; ++i) {
            const SettingFacts &facts = settingFacts(i);
            if (facts.kind != SettingKind::ColourComponent) continue;
            const size_t comma = rest.find(',');
            if (rest.empty() && changes.size() < 3)
                throw UsageError(pair + ": expected mix=R,G,B with three numbers from 0 to 255");
            changes.push_back({&facts, valueOf(pair, facts, rest.substr(0, comma), scene)});
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        if (!rest.empty() || text.back() == ',' || changes.size() != 3)
            throw UsageError(pair + ": expected mix=R,G,B with three numbers from 0 to 255");
        return changes;
    }

    const SettingFacts *facts = findSettingFacts(name);
    if (facts == nullptr) throw UsageError(pair + ": no setting named \"" + name + "\"; settings: " + settingNames());
    return {{facts, valueOf(pair, *facts, text, scene)}};
}

void applySettings(const host::HostSession &session, void *instance, const std::vector<SettingChange> &changes) {
    std::vector<std::optional<int32_t>> values = recordValues(session.save(instance));
    for (const SettingChange &change : changes) values[change.setting->storedPosition - 1] = change.value;
    // The record as the module writes it: numbers in stored order, one space
    // apart. Values the old record's text did not reach are not written; the
    // instance keeps them.
    constexpr size_t kRecordSize = 128;
    std::string text;
    for (const std::optional<int32_t> &value : values) {
        if (!value) break;
        const std::string next = (text.empty() ? "" : " ") + std::to_string(*value);
        if (text.size() + next.size() > kRecordSize) break; // only whole numbers
        text += next;
    }
    std::vector<uint8_t> record(kRecordSize, 0);
    std::copy(text.begin(), text.end(), record.begin());
    session.load(instance, record);

    const std::vector<std::optional<int32_t>> kept = recordValues(session.save(instance));
    for (const SettingChange &change : changes)
        if (kept[change.setting->storedPosition - 1] != change.value)
            throw std::runtime_error(std::string("the module did not keep ") + change.setting->name + "=" +
                                     std::to_string(change.value) + " (its settings record has no room for it)");
}

} // namespace kivo::cli
