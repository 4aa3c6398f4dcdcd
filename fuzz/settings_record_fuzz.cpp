// Fuzz target for the settings record reader: any 128 bytes must parse
// without reading outside the record, and whatever they parse to must come
// back unchanged through the writer and the reader when its text fits. A
// host's codec must take the bytes as the module's own record exactly when
// the module reads every setting from them and writes them back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/core/settings_codec.h"
#include "instance/mixer_instance.h"
#include "persist/settings_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Exactly 128 bytes on the heap, so the sanitizer sees any read past the end.
    char *record = static_cast<char *>(std::malloc(kSettingsRecordSize));
    std::memset(record, 0, kSettingsRecordSize);
    std::memcpy(record, data, size < kSettingsRecordSize ? size : kSettingsRecordSize);

    MixerInstance parsed{}, over{};
    std::memset(&over, 0x5a, sizeof over);
    parseSettingsRecord(record, parsed);
    parseSettingsRecord(record, over);

    char written[kSettingsRecordSize];
    formatSettingsRecord(parsed, written);
    const bool modules = std::memcmp(&parsed, &over, sizeof parsed) == 0 &&
                         std::memcmp(written, record, kSettingsRecordSize) == 0;
    if (kivo::host::isModuleRecord({reinterpret_cast<const uint8_t *>(record), kSettingsRecordSize}) != modules)
        std::abort();
    if (std::memchr(written, 0, sizeof written) != nullptr) {
        MixerInstance again{};
        parseSettingsRecord(written, again);
        if (std::memcmp(&parsed, &again, sizeof parsed) != 0) std::abort();
    }
    std::free(record);
    return 0;
}
