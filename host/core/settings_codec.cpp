#include "host/core/settings_codec.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace kivo::host {
namespace {

// The text before the first zero byte (all of it when there is none).
std::string_view textOf(std::span<const uint8_t> record) {
    const std::string_view bytes(reinterpret_cast<const char *>(record.data()), record.size());
    return bytes.substr(0, bytes.find('\0'));
}

// A number as the module writes it: '-' only before a value below 0, no
// leading zero, and its value within 32 bits.
std::optional<int32_t> writtenNumber(std::string_view text) {
    const size_t digits = !text.empty() && text.front() == '-' ? 1 : 0;
    if (text.size() == digits || (text[digits] == '0' && text.size() > 1)) return std::nullopt;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

struct Number {
    int32_t value;
    size_t end; // where its text ends
};

// The numbers of the text in turn, split at single spaces; stops at the
// first word that is not a written number.
std::vector<Number> writtenNumbers(std::string_view text) {
    std::vector<Number> numbers;
    for (size_t start = 0; start <= text.size();) {
        const size_t space = std::min(text.find(' ', start), text.size());
        const std::optional<int32_t> number = writtenNumber(text.substr(start, space - start));
        if (!number) break;
        numbers.push_back({*number, space});
        start = space + 1;
    }
    return numbers;
}

// "name=value" for each value of five characters or more, longest first.
std::string longValues(const StoredSettings &settings) {
    std::vector<std::pair<size_t, std::string>> values;
    for (int position = 1; position <= kSettingCount; ++position) {
        const std::string value = std::to_string(settings[position - 1]);
        if (value.size() >= 5)
            values.emplace_back(value.size(), std::string(storedSettingFacts(position).name) + "=" + value);
    }
    std::stable_sort(values.begin(), values.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    std::string list;
    for (const auto &value : values) list += (list.empty() ? "" : ", ") + value.second;
    return list;
}

} // namespace

std::string settingsText(const StoredSettings &settings) {
    std::string text;
    for (const int32_t value : settings) text += (text.empty() ? "" : " ") + std::to_string(value);
    return text;
}

std::vector<uint8_t> settingsRecord(const StoredSettings &settings) {
    const std::string text = settingsText(settings);
    if (text.size() > kLongestSettingsText)
        throw SettingsTooLong("the settings take " + std::to_string(text.size()) + " characters, more than the " +
                              std::to_string(kLongestSettingsText) +
                              " that a settings record holds whole; shorten the longest values (" +
                              longValues(settings) + ")");
    std::vector<uint8_t> record(kSettingsRecordSize, 0);
    std::copy(text.begin(), text.end(), record.begin());
    return record;
}

SavedSettings savedSettings(std::span<const uint8_t> record) {
    const std::vector<Number> numbers = writtenNumbers(textOf(record));
    SavedSettings settings;
    for (size_t i = 0; i < numbers.size() && i < settings.size(); ++i)
        if (numbers[i].end < record.size()) settings[i] = numbers[i].value;
    return settings;
}

StoredSettings wholeSettings(std::span<const uint8_t> record) {
    const SavedSettings saved = savedSettings(record);
    StoredSettings settings{};
    for (size_t i = 0; i < settings.size(); ++i) {
        if (!saved[i])
            throw SettingsTooLong("the module's settings record \"" + std::string(textOf(record)) +
                                  "\" does not hold all " + std::to_string(kSettingCount) +
                                  " settings whole; its text may have been cut");
        settings[i] = *saved[i];
    }
    return settings;
}

bool isModuleRecord(std::span<const uint8_t> record) {
    if (record.size() != kSettingsRecordSize) return false;
    const std::string_view text = textOf(record);
    if (!std::all_of(record.begin() + static_cast<std::ptrdiff_t>(text.size()), record.end(),
                     [](uint8_t byte) { return byte == 0; }))
        return false;
    const std::vector<Number> numbers = writtenNumbers(text);
    return numbers.size() == kSettingCount && numbers.back().end == text.size();
}

} // namespace kivo::host
