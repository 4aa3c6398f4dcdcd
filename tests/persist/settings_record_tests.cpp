// The 128-byte settings record: what the writer produces and how the reader
// treats well-formed, damaged and hand-edited records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "instance/mixer_instance.h"
#include "instance/settings_table.h"
#include "persist/settings_record.h"

namespace {

using Record = std::string; // always exactly 128 bytes

MixerInstance defaults() {
    MixerInstance m{};
    for (const SettingInfo &s : kSettings) m.*s.field = s.facts.defaultValue;
    return m;
}

// Every field set to a value that no record in these tests produces.
MixerInstance sentinels() {
    MixerInstance m{};
    for (int i = 0; i < kSettingCount; ++i) settingField(m, i) = 7000 + i;
    return m;
}

Record write(const MixerInstance &m) {
    char buffer[kSettingsRecordSize];
    std::memset(buffer, 'Z', sizeof buffer);
    formatSettingsRecord(m, buffer);
    return Record(buffer, sizeof buffer);
}

Record padded(const std::string &text, char fill = '\0') {
    Record r(kSettingsRecordSize, fill);
    r.replace(0, std::min(text.size(), r.size()), text.substr(0, kSettingsRecordSize));
    return r;
}

MixerInstance read(const Record &record, MixerInstance start = sentinels()) {
    parseSettingsRecord(record.data(), start);
    return start;
}

int32_t stored(const MixerInstance &m, int position) { return settingField(m, kStoredOrder[position - 1]); }

TEST(SettingsRecordWriter, NewInstanceIsTheDefaultTextAndZeroFill) {
    const Record r = write(defaults());
    const std::string text = "0 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1";
    ASSERT_EQ(text.size(), 41u);
    EXPECT_EQ(r.substr(0, 41), text);
    EXPECT_EQ(r.substr(41), std::string(87, '\0'));
}

TEST(SettingsRecordWriter, NegativeValuesAndTheTopBitAreSignedDecimal) {
    MixerInstance m = defaults();
    m.grainWidth = -3;
    m.controlItem = INT32_MIN;
    const Record r = write(m);
    EXPECT_EQ(r.substr(0, 15), "-2147483648 -3 ");
    const MixerInstance back = read(r);
    EXPECT_EQ(back.controlItem, INT32_MIN);
    EXPECT_EQ(back.grainWidth, -3);
    m.controlItem = -1;
    EXPECT_EQ(write(m).substr(0, 3), "-1 ");
}

TEST(SettingsRecordWriter, LongTextIsCutAt128WithNoZeroByte) {
    MixerInstance m{};
    for (int i = 0; i < kSettingCount; ++i) settingField(m, i) = INT32_MIN; // 11 characters each
    const Record r = write(m);
    EXPECT_EQ(r.find('\0'), std::string::npos);
    // 10 full numbers and spaces take 120 characters; the 11th is cut after "-214748".
    EXPECT_EQ(r.substr(120), "-2147483");
    const MixerInstance back = read(r);
    for (int p = 1; p <= 10; ++p) EXPECT_EQ(stored(back, p), INT32_MIN) << p;
    EXPECT_EQ(stored(back, 11), -2147483);
    for (int p = 12; p <= 18; ++p) EXPECT_EQ(stored(back, p), 7000 + int(kStoredOrder[p - 1])) << p;
}

TEST(SettingsRecordRoundTrip, EveryFieldComesBackWhenTheTextFits) {
    MixerInstance m{};
    const int32_t values[] = {0, 1, -1, 255, 65535, -65536, 123456, INT32_MAX, INT32_MIN};
    for (int i = 0; i < kSettingCount; ++i) settingField(m, i) = values[i % 9] / (i % 3 + 1);
    const Record r = write(m);
    ASSERT_NE(r.find('\0'), std::string::npos);
    const MixerInstance back = read(r);
    EXPECT_EQ(std::memcmp(&back, &m, sizeof m), 0);
    const MixerInstance restored = read(write(defaults()));
    const MixerInstance expected = defaults();
    EXPECT_EQ(std::memcmp(&restored, &expected, sizeof m), 0);
}

TEST(SettingsRecordReader, ShortTextZeroesTheFirstMissingFieldOnly) {
    const MixerInstance m = read(padded("5 6"));
    EXPECT_EQ(m.controlItem, 5);
    EXPECT_EQ(m.grainWidth, 6);
    EXPECT_EQ(m.grainHeight, 0);
    for (int p = 4; p <= 18; ++p) EXPECT_EQ(stored(m, p), 7000 + int(kStoredOrder[p - 1])) << p;
}

TEST(SettingsRecordReader, TrailingWhitespaceKeepsTheMissingFields) {
    const MixerInstance m = read(padded("5 6", ' '));
    EXPECT_EQ(m.grainWidth, 6);
    EXPECT_EQ(m.grainHeight, 7001);
}

TEST(SettingsRecordReader, BasesSignsAndWhitespace) {
    struct Case {
        const char *text;
        int32_t first;
        int32_t second;
    } cases[] = {
        {"010 1", 8, 1},       {"0x1F 1", 31, 1},     {"0X1f 1", 31, 1},    {"+6 1", 6, 1},
        {"-0x10 1", -16, 1},   {"\t\n\v\f\r 4 1", 4, 1}, {"1,2", 1, 2},      {"1   2", 1, 2},
        {"1\t\n2", 1, 2},      {"99999999999 1", INT32_MAX, 1},            {"-99999999999 1", INT32_MIN, 1},
        {"2147483647 1", INT32_MAX, 1},             {"-2147483648 1", INT32_MIN, 1},
        {"4294967296 1", INT32_MAX, 1},
    };
    for (const Case &c : cases) {
        const MixerInstance m = read(padded(c.text));
        EXPECT_EQ(stored(m, 1), c.first) << c.text;
        EXPECT_EQ(stored(m, 2), c.second) << c.text;
    }
}

TEST(SettingsRecordReader, NonDigitsStopTheReading) {
    // '08': octal 0, then the unread '8' is the skipped separator, and '1' follows.
    MixerInstance m = read(padded("08 1"));
    EXPECT_EQ(stored(m, 1), 0);
    EXPECT_EQ(stored(m, 2), 1); // the skip discards '8', whitespace precedes '1'
    // '0x' alone: no digit, so the field is 0 and reading stops.
    m = read(padded("0x 5"));
    EXPECT_EQ(stored(m, 1), 0);
    EXPECT_EQ(stored(m, 2), 7000 + int(kStoredOrder[1]));
    // Two separators: the second field has no number.
    m = read(padded("1,,2 3"));
    EXPECT_EQ(stored(m, 1), 1);
    EXPECT_EQ(stored(m, 2), 0);
    EXPECT_EQ(stored(m, 3), 7000 + int(kStoredOrder[2]));
    // A lone sign is no number.
    m = read(padded("- 3"));
    EXPECT_EQ(stored(m, 1), 0);
    EXPECT_EQ(stored(m, 2), 7000 + int(kStoredOrder[1]));
    // An empty record: the first field becomes 0, the rest keep their values.
    m = read(padded(""));
    EXPECT_EQ(stored(m, 1), 0);
    EXPECT_EQ(stored(m, 2), 7000 + int(kStoredOrder[1]));
}

TEST(SettingsRecordReader, AtMostFifteenCharactersMakeANumber) {
    // 16 digits: the 16th is the character that the next skip discards.
    MixerInstance m = read(padded("1234567890123457 8"));
    EXPECT_EQ(stored(m, 1), INT32_MAX); // 123456789012345 clamps
    EXPECT_EQ(stored(m, 2), 8);
    m = read(padded("-000000000000012 9"));
    EXPECT_EQ(stored(m, 1), -1); // '-' and 14 octal characters: -000000000000001
    EXPECT_EQ(stored(m, 2), 9); // the skip discarded the final '2'; whitespace precedes 9
}

TEST(SettingsRecordReader, ExtraNumbersAreIgnored) {
    std::string text;
    for (int i = 1; i <= 20; ++i) text += std::to_string(i) + " ";
    const MixerInstance m = read(padded(text));
    for (int p = 1; p <= 18; ++p) EXPECT_EQ(stored(m, p), p);
}

TEST(SettingsRecordReader, ANumberReachingTheEndIsStoredAndStopsTheReading) {
    Record r(kSettingsRecordSize, ' ');
    r.replace(kSettingsRecordSize - 3, 3, "-42");
    MixerInstance m = read(r);
    EXPECT_EQ(stored(m, 1), -42);
    EXPECT_EQ(stored(m, 2), 7000 + int(kStoredOrder[1]));
    r.replace(kSettingsRecordSize - 3, 3, "  -");
    m = read(r);
    EXPECT_EQ(stored(m, 1), 0);
}

// The host's read fills the buffer; a short delivery ends at its first unfilled byte.
struct ShortReader {
    std::string bytes;
};

int32_t deliver(void *data, char *buffer, int32_t length) {
    auto *reader = static_cast<ShortReader *>(data);
    const int32_t count = std::min<int32_t>(length, static_cast<int32_t>(reader->bytes.size()));
    std::memcpy(buffer, reader->bytes.data(), static_cast<size_t>(count));
    return count;
}

int32_t collect(void *data, const char *buffer, int32_t length) {
    static_cast<std::string *>(data)->append(buffer, static_cast<size_t>(length));
    return length;
}

TEST(SettingsRecordCallbacks, ShortDeliveryEndsAtTheFirstUnfilledByte) {
    ShortReader reader{"12 3"};
    LoadState state{0, &reader, deliver};
    MixerInstance m = sentinels();
    EXPECT_EQ(loadInstance(&m, &state), 0);
    EXPECT_EQ(m.controlItem, 12);
    EXPECT_EQ(m.grainWidth, 3);
    EXPECT_EQ(m.grainHeight, 0);
    EXPECT_EQ(m.fadeChannel, 7005);
}

TEST(SettingsRecordCallbacks, SaveWritesExactlyOnce128Bytes) {
    std::string out;
    SaveState state{0, &out, collect};
    MixerInstance m = defaults();
    EXPECT_EQ(saveInstance(&m, &state), 0);
    EXPECT_EQ(out, write(m));
}

} // namespace
