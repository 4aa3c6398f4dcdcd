#include "host/scene/settings_record_text.h"

#include <algorithm>
#include <stdexcept>

#include "host/core/settings_codec.h"

namespace kivo::scene {

std::optional<std::string> recordAsText(const SettingsRecordBytes &record) {
    const auto end = std::find(record.begin(), record.end(), '\0');
    if (!std::all_of(end, record.end(), [](char c) { return c == '\0'; })) return std::nullopt;
    if (!std::all_of(record.begin(), end, [](char c) { return static_cast<unsigned char>(c) < 128; }))
        return std::nullopt;
    return std::string(record.begin(), end);
}

std::optional<SettingsRecordBytes> recordFromText(std::string_view text) {
    if (text.size() > static_cast<size_t>(kRecordSize)) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; }))
        return std::nullopt;
    SettingsRecordBytes record{};
    std::copy(text.begin(), text.end(), record.begin());
    return record;
}

std::string recordAsHex(const SettingsRecordBytes &record) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * kRecordSize);
    for (char c : record) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<SettingsRecordBytes> recordFromHex(std::string_view hex) {
    if (hex.size() != 2 * static_cast<size_t>(kRecordSize)) return std::nullopt;
    SettingsRecordBytes record{};
    for (int i = 0; i < kRecordSize; ++i) {
        const int high = hexDigit(hex[2 * i]), low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        record[i] = static_cast<char>(high * 16 + low);
    }
    return record;
}

SettingsRecordBytes recordOfSaved(const std::vector<uint8_t> &saved) {
    host::wholeSettings(saved); // refuses a text that fills the record
    SettingsRecordBytes record{};
    std::copy_n(saved.begin(), std::min(saved.size(), record.size()), record.begin());
    return record;
}

SettingsRecordBytes recordOfText(std::string_view text) {
    const auto record = recordFromText(text);
    if (!record) throw std::invalid_argument("a settings record holds at most 128 ASCII characters");
    return *record;
}

} // namespace kivo::scene
