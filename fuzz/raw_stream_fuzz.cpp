// Fuzz target for the raw stream reader: the first line is a frame size as
// given to --size, the rest the stream. A size is refused with
// invalid_argument or accepted; an accepted stream gives exactly its whole
// frames, then ends cleanly when nothing is left or with a FileError naming
// the stream when a frame is cut short.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "host/media/atomic_file.h"
#include "host/media/raw_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto *newline = static_cast<const uint8_t *>(std::memchr(data, '\n', size));
    if (newline == nullptr) return 0;
    const std::string sizeText(reinterpret_cast<const char *>(data), newline - data);
    int32_t width = 0, height = 0;
    try {
        kivo::media::parseFrameSize(sizeText, width, height);
    } catch (const std::invalid_argument &) {
        return 0;
    }
    if (width < 1 || height < 1) std::abort();
    const size_t frameBytes = size_t(width) * size_t(height) * 4;
    if (frameBytes > (size_t(1) << 20)) return 0; // keep each run small

    const uint8_t *stream = newline + 1;
    const size_t streamSize = size - (stream - data);
    const int fd = ::memfd_create("raw-stream-fuzz", 0);
    if (fd < 0) return 0;
    if (::write(fd, stream, streamSize) != static_cast<ssize_t>(streamSize) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return 0;
    }
    kivo::media::RawFrameReader reader(fd, width, height, "fuzz stream");
    kivo::host::RgbaImage image;
    size_t frames = 0;
    bool cut = false;
    try {
        while (reader.read(image, "frame " + std::to_string(frames))) {
            if (std::memcmp(image.pixels.data(), stream + frames * frameBytes, frameBytes) != 0) std::abort();
            ++frames;
        }
    } catch (const kivo::media::FileError &error) {
        if (error.path() != "fuzz stream") std::abort();
        cut = true;
    }
    ::close(fd);
    if (frames != streamSize / frameBytes || cut != (streamSize % frameBytes != 0)) std::abort();
    return 0;
}
