// The settings record as a host builds and reads it. The module writes its
// eighteen settings as decimal numbers in stored order, one space apart,
// zero-filled to 128 bytes, and cuts a longer text after its 128th character,
// even inside a number. A host builds only records whose text ends before the
// last byte: every number in them is whole, and a record the module saves
// from them ends in a zero byte, so a host reading it back can tell a whole
// last number from a cut one.
#ifndef KIVO_HOST_CORE_SETTINGS_CODEC_H
#define KIVO_HOST_CORE_SETTINGS_CODEC_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "instance/setting_facts.h"

namespace kivo::host {

// The settings by stored position: index 0 holds position 1.
using StoredSettings = std::array<int32_t, kSettingCount>;
// As read from a record: none where its text holds no whole number.
using SavedSettings = std::array<std::optional<int32_t>, kSettingCount>;

// The most characters a host lets the record's text take.
inline constexpr size_t kLongestSettingsText = kSettingsRecordSize - 1;

// Settings whose text does not fit a record whole, or a saved record that may
// have been cut. The message names the length and the longest values.
class SettingsTooLong : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text the module writes for the settings, before any cut.
std::string settingsText(const StoredSettings &settings);

// The 128-byte record the module writes for the settings. Throws
// SettingsTooLong when the text passes kLongestSettingsText characters.
std::vector<uint8_t> settingsRecord(const StoredSettings &settings);

// The settings in a record the module saved: each number of its text in
// turn, none past the text's end, and none for a number that reaches the
// record's last byte (it may be the start of a longer one).
SavedSettings savedSettings(std::span<const uint8_t> record);

// All eighteen of a record the module saved. Throws SettingsTooLong when its
// text fills the record, so that its last numbers are not known whole.
StoredSettings wholeSettings(std::span<const uint8_t> record);

// True when the record holds all eighteen settings exactly as the module
// writes them: eighteen numbers (no sign but '-', no leading zero, within 32
// bits), one space apart, then only zero bytes. The module then reads every
// setting from it and writes it back unchanged.
bool isModuleRecord(std::span<const uint8_t> record);

// The bytes of a record held as characters, as scenes hold them.
inline std::span<const uint8_t> recordBytes(std::span<const char> record) {
    return {reinterpret_cast<const uint8_t *>(record.data()), record.size()};
}

} // namespace kivo::host

#endif
