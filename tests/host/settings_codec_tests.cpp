// The host's settings record codec against the module's own writer and
// reader: what a host builds is what the module writes, what it reads is
// what the module saved, and a record counts as the module's exactly when the
// module reads every setting from it and writes it back unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "host/core/settings_codec.h"
#include "instance/settings_table.h"
#include "persist/settings_record.h"

namespace {

using kivo::host::StoredSettings;

MixerInstance defaults() {
    MixerInstance m{};
    for (const SettingInfo &s : kSettings) m.*s.field = s.facts.defaultValue;
    return m;
}

MixerInstance instanceOf(const StoredSettings &settings) {
    MixerInstance m{};
    for (int p = 0; p < kSettingCount; ++p) settingField(m, kStoredOrder[p]) = settings[p];
    return m;
}

std::vector<uint8_t> moduleRecord(const MixerInstance &m) {
    char record[kSettingsRecordSize];
    formatSettingsRecord(m, record);
    return {record, record + kSettingsRecordSize};
}

std::vector<uint8_t> padded(const std::string &text) {
    std::vector<uint8_t> record(kSettingsRecordSize, 0);
    std::copy_n(text.begin(), std::min(text.size(), record.size()), record.begin());
    return record;
}

// True when the module reads every setting from the record (whatever the
// instance held before) and writes the record back byte for byte.
bool moduleReadsAllAndWritesItBack(const std::vector<uint8_t> &record) {
    MixerInstance fresh = defaults(), other{};
    for (int i = 0; i < kSettingCount; ++i) settingField(other, i) = 7000 + i;
    parseSettingsRecord(reinterpret_cast<const char *>(record.data()), fresh);
    parseSettingsRecord(reinterpret_cast<const char *>(record.data()), other);
    return std::memcmp(&fresh, &other, sizeof fresh) == 0 && moduleRecord(fresh) == record;
}

// Settings whose text has the given length: long numbers first, then 0s.
StoredSettings settingsOfLength(size_t length) {
    StoredSettings settings{};
    size_t rest = length - (2 * kSettingCount - 1); // beyond eighteen "0"s and their spaces
    for (int32_t &value : settings) {
        const size_t extra = std::min<size_t>(rest, 10);
        value = extra == 10 ? INT32_MIN : extra == 0 ? 0 : -std::stoi(std::string(extra, '7'));
        rest -= extra;
    }
    return settings;
}

TEST(SettingsCodec, BuildsWhatTheModuleWritesAndRefusesATextItWouldCut) {
    std::vector<StoredSettings> cases;
    for (size_t length : {35, 41, 100, 126, 127, 128, 129, 200}) cases.push_back(settingsOfLength(length));
    cases.push_back({-1, 1, 1, 0, 0, 1, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, INT32_MAX});
    for (const StoredSettings &settings : cases) {
        const std::string text = kivo::host::settingsText(settings);
        const std::vector<uint8_t> written = moduleRecord(instanceOf(settings));
        if (text.size() <= kivo::host::kLongestSettingsText) {
            EXPECT_EQ(kivo::host::settingsRecord(settings), written) << text;
            EXPECT_EQ(kivo::host::wholeSettings(written), settings) << text;
            continue;
        }
        // The module would cut this text; the host builds no record of it,
        // and does not take the module's record of it as whole.
        try {
            kivo::host::settingsRecord(settings);
            ADD_FAILURE() << "built a record of " << text.size() << " characters";
        } catch (const kivo::host::SettingsTooLong &error) {
            EXPECT_NE(std::string(error.what()).find(std::to_string(text.size()) + " characters"), std::string::npos)
                << error.what();
        }
        EXPECT_THROW(kivo::host::wholeSettings(written), kivo::host::SettingsTooLong) << text;
        const kivo::host::SavedSettings saved = kivo::host::savedSettings(written);
        for (int p = 0; p < kSettingCount; ++p) {
            if (saved[p]) {
                EXPECT_EQ(*saved[p], settings[p]) << "position " << p + 1 << " of " << text;
            }
        }
    }
}

TEST(SettingsCodec, TakesARecordAsTheModulesExactlyWhenTheModuleReadsAllAndWritesItBack) {
    const std::string defaults = "0 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1";
    std::vector<std::vector<uint8_t>> records;
    for (const char *first : {"09", "010", "0x1", "+0", "-0", "2147483648", "-2147483648"})
        records.push_back(padded(first + defaults.substr(1)));
    for (const std::string &text :
         {defaults, defaults + " ", defaults + " 7", defaults.substr(0, defaults.size() - 2), " " + defaults,
          "0  " + defaults.substr(2), "0\t" + defaults.substr(2), kivo::host::settingsText(settingsOfLength(128)),
          kivo::host::settingsText(settingsOfLength(140))})
        records.push_back(padded(text));
    std::vector<uint8_t> junkAfterTheEnd = padded(defaults);
    junkAfterTheEnd[100] = '1';
    records.push_back(junkAfterTheEnd);
    // Random damage to a record of long numbers: digits, signs, spaces, zero bytes.
    std::mt19937 generator(21);
    const std::string marks("0123456789 -+x\t\0", 16);
    const std::vector<uint8_t> longRecord = padded(kivo::host::settingsText(settingsOfLength(120)));
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> record = longRecord;
        for (int changes = 1 + i % 3; changes > 0; --changes)
            record[generator() % 124] = static_cast<uint8_t>(marks[generator() % marks.size()]);
        records.push_back(record);
    }

    int theModules = 0;
    for (const std::vector<uint8_t> &record : records) {
        const bool expected = moduleReadsAllAndWritesItBack(record);
        ASSERT_EQ(kivo::host::isModuleRecord(record), expected)
            << testing::PrintToString(std::string(record.begin(), record.end()));
        theModules += expected;
    }
    EXPECT_FALSE(kivo::host::isModuleRecord(records[0])); // "09": the module reads 0
    EXPECT_GT(theModules, 100);
    EXPECT_LT(theModules, static_cast<int>(records.size()) - 100);
}

} // namespace
