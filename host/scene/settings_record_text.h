// How a 128-byte settings record is written into a scene file. A record that
// is text followed by zero bytes (what the module writes) is kept as that
// text, so it stays readable and editable; any other record is kept as 256
// hexadecimal digits. Both forms give back the exact 128 bytes.
#ifndef KIVO_HOST_SCENE_SETTINGS_RECORD_TEXT_H
#define KIVO_HOST_SCENE_SETTINGS_RECORD_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"

namespace kivo::scene {

// The text form: the bytes before the first zero byte, when they are all
// ASCII (1..127) and every byte after them is zero; otherwise nothing.
std::optional<std::string> recordAsText(const SettingsRecordBytes &record);

// The record of a text of at most 128 ASCII characters, zero-filled;
// nothing for a longer text or one with a byte above 127.
std::optional<SettingsRecordBytes> recordFromText(std::string_view text);

std::string recordAsHex(const SettingsRecordBytes &record);

// The record of exactly 256 hexadecimal digits (either case); nothing otherwise.
std::optional<SettingsRecordBytes> recordFromHex(std::string_view hex);

// The record a module saved, as the scene keeps it. Throws
// host::SettingsTooLong when its text fills the record: its last number may
// have been cut, and keeping it would change that setting.
SettingsRecordBytes recordOfSaved(const std::vector<uint8_t> &saved);

// The record of a text such as "0 1 1 0 0 1 ..."; for building records in code.
SettingsRecordBytes recordOfText(std::string_view text);

} // namespace kivo::scene

#endif
