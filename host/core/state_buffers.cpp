#include "host/core/state_buffers.h"

#include <algorithm>
#include <cstring>

namespace kivo::host {

namespace {
struct Reader {
    const std::vector<uint8_t> *bytes;
    size_t position;
};

extern "C" int32_t readBytes(void *data, char *buffer, int32_t length) {
    auto &reader = *static_cast<Reader *>(data);
    if (length <= 0) return 0;
    const size_t left = reader.bytes->size() - reader.position;
    const size_t count = std::min(left, static_cast<size_t>(length));
    if (count > 0) std::memcpy(buffer, reader.bytes->data() + reader.position, count);
    reader.position += count;
    return static_cast<int32_t>(count);
}

extern "C" int32_t writeBytes(void *data, const char *buffer, int32_t length) {
    auto &out = *static_cast<std::vector<uint8_t> *>(data);
    if (length <= 0) return 0;
    out.insert(out.end(), buffer, buffer + length);
    return length;
}
} // namespace

std::vector<uint8_t> saveToBytes(SaveFunction save, void *instance) {
    std::vector<uint8_t> bytes;
    SaveState state{0, &bytes, writeBytes};
    save(instance, &state);
    return bytes;
}

int32_t loadFromBytes(LoadFunction load, void *instance, const std::vector<uint8_t> &bytes) {
    Reader reader{&bytes, 0};
    LoadState state{0, &reader, readBytes};
    return load(instance, &state);
}

} // namespace kivo::host
