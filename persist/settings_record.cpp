#include "persist/settings_record.h"

#include <charconv>
#include <cstring>

#include "instance/settings_table.h"

void formatSettingsRecord(const MixerInstance &instance, char record[kSettingsRecordSize]) {
    // Longest text: eighteen 11-character numbers and seventeen spaces.
    char text[kSettingCount * 12];
    char *end = text;
    for (int position = 0; position < kSettingCount; ++position) {
        if (position > 0) *end++ = ' ';
        end = std::to_chars(end, text + sizeof text, settingField(instance, kStoredOrder[position])).ptr;
    }
    const size_t length = static_cast<size_t>(end - text);
    std::memset(record, 0, kSettingsRecordSize);
    std::memcpy(record, text, length < kSettingsRecordSize ? length : kSettingsRecordSize);
}

namespace {

// Reads numbers the way the stored records were written to be read: a
// whitespace skip, then at most 15 characters of an optionally signed
// decimal, octal (leading 0) or hexadecimal (leading 0x) integer.
class RecordReader {
public:
    explicit RecordReader(const char *record) : text_(record) {}

    bool failed() const { return failed_; }

    void skipSeparator() {
        if (failed_) return;
        if (atEnd()) {
            failed_ = true;
            return;
        }
        ++position_;
    }

    void readNumber(int32_t &field) {
        if (failed_) return;
        while (!atEnd() && isSpace(current())) ++position_;
        if (atEnd()) {
            failed_ = true;
            return;
        }
        constexpr int kMaxCharacters = 15;
        const int limit = position_ + kMaxCharacters < kSettingsRecordSize ? position_ + kMaxCharacters
                                                                           : kSettingsRecordSize;
        bool negative = false;
        if (current() == '+' || current() == '-') {
            negative = current() == '-';
            ++position_;
        }
        unsigned base = 10;
        if (position_ < limit && current() == '0') {
            base = 8;
            if (position_ + 1 < limit && (text_[position_ + 1] == 'x' || text_[position_ + 1] == 'X')) {
                base = 16;
                position_ += 2; // the 0 and the x are not digits of the number
            }
        }
        uint64_t magnitude = 0;
        int digits = 0;
        while (position_ < limit) {
            const int digit = digitValue(current(), base);
            if (digit < 0) break;
            magnitude = magnitude * base + static_cast<unsigned>(digit);
            ++digits;
            ++position_;
        }
        if (digits == 0) {
            failed_ = true;
            field = 0;
            return;
        }
        // At most 13 hex or 15 decimal digits: the magnitude cannot overflow.
        const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        if (value > INT32_MAX) field = INT32_MAX;
        else if (value < INT32_MIN) field = INT32_MIN;
        else field = static_cast<int32_t>(value);
        if (atEnd()) failed_ = true;
    }

private:
    bool atEnd() const { return position_ >= kSettingsRecordSize; }
    unsigned char current() const { return static_cast<unsigned char>(text_[position_]); }
    static bool isSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
    static int digitValue(unsigned char c, unsigned base) {
        int value = -1;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
    }

    const char *text_;
    int position_ = 0;
    bool failed_ = false;
};

} // namespace

void parseSettingsRecord(const char record[kSettingsRecordSize], MixerInstance &instance) {
    RecordReader reader(record);
    for (int position = 0; position < kSettingCount; ++position) {
        if (position > 0) reader.skipSeparator();
        reader.readNumber(settingField(instance, kStoredOrder[position]));
    }
}

int32_t saveInstance(void *instance, const SaveState *state) {
    char record[kSettingsRecordSize];
    formatSettingsRecord(*static_cast<const MixerInstance *>(instance), record);
    state->write(state->writeData, record, kSettingsRecordSize);
    return 0;
}

int32_t loadInstance(void *instance, const LoadState *state) {
    // Cleared first, so a host that delivers fewer bytes ends the text at its
    // first unfilled byte.
    char record[kSettingsRecordSize] = {};
    state->read(state->readData, record, kSettingsRecordSize);
    parseSettingsRecord(record, *static_cast<MixerInstance *>(instance));
    return 0;
}
