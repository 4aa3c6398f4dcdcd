#include "host/media/image_file.h"

#include <dlfcn.h>
#include <libdeflate.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/media/atomic_file.h"
#include "host/media/image_codec.h"
#include "host/media/png_codec.h"
#include "host/media/raw_stream.h"

namespace kivo::media {
namespace {

// The image library's side beside the running program, for a program that
// was moved together with it; empty when the program's file is unknown.
std::string besideProgram() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (program.parent_path() / kImageCodecLibrary).string();
}

// The image library's side, loaded on first use.
const ImageCodec &imageCodec(const std::string &path) {
    static const ImageCodec *codec = nullptr;
    static std::string failure;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        // Beside the program, else where it was built, else wherever the
        // library path finds it. Full paths: a sanitizer's dlopen ignores
        // the program's run path.
        void *library = nullptr;
        if (const std::string beside = besideProgram(); !beside.empty())
            library = ::dlopen(beside.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (library == nullptr) library = ::dlopen(KIVO_IMAGE_CODEC_FILE, RTLD_LAZY | RTLD_LOCAL);
        if (library == nullptr) library = ::dlopen(kImageCodecLibrary, RTLD_LAZY | RTLD_LOCAL);
        if (library == nullptr) {
            failure = ::dlerror();
            return;
        }
        auto entry = reinterpret_cast<const ImageCodec *(*)()>(::dlsym(library, "kivoImageCodec"));
        if (entry == nullptr) {
            failure = ::dlerror();
            return;
        }
        codec = entry();
    });
    if (codec == nullptr) throw FileError(path, "cannot load the image file library: " + failure);
    return *codec;
}

bool hasPngExtension(const std::string &path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png";
}

uint32_t bigEndian(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// A PNG's chunks, checked before the image library sees them: libpng prints
// its own line on standard error for a damaged file, beside our message.
// Throws FileError saying what is wrong with a file that is cut short or
// damaged.
void checkPngChunks(const std::string &path, const std::string &bytes) {
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    size_t at = sizeof kPngSignature;
    while (at + 12 <= bytes.size()) {
        const uint32_t length = bigEndian(data + at);
        const std::string type(bytes, at + 4, 4);
        if (length > bytes.size() - at - 12)
            throw FileError(path, "the PNG file is cut short (its " + type + " chunk at byte " + std::to_string(at) +
                                      " needs " + std::to_string(length) + " bytes)");
        const uint32_t crc = libdeflate_crc32(0, data + at + 4, size_t(length) + 4);
        if (crc != bigEndian(data + at + 8 + length))
            throw FileError(path, "the PNG file is damaged (the " + type + " chunk at byte " + std::to_string(at) +
                                      " fails its checksum)");
        if (type == "IEND") return;
        at += 12 + size_t(length);
    }
    throw FileError(path, "the PNG file is cut short (it ends at byte " + std::to_string(bytes.size()) +
                              " without its IEND chunk)");
}

} // namespace

DecodedImage readImageFile(const std::string &path) {
    DecodedImage decoded;
    readImageFile(path, decoded);
    return decoded;
}

void readImageFile(const std::string &path, DecodedImage &decoded) {
    // A PNG is read whole, checked, and decoded from memory.
    std::string bytes;
    bool png = false;
    {
        char head[sizeof kPngSignature] = {};
        if (FILE *file = std::fopen(path.c_str(), "rb")) {
            const size_t got = std::fread(head, 1, sizeof head, file);
            std::fclose(file);
            if (got == sizeof head && std::memcmp(head, kPngSignature, sizeof head) == 0) {
                bytes = readWholeFile(path);
                checkPngChunks(path, bytes);
                png = true;
            }
        }
    }
    if (png && isPlainPng(bytes)) {
        // The declared size against the limits, before anything is allocated.
        const auto *header = reinterpret_cast<const unsigned char *>(bytes.data());
        const int64_t width = bigEndian(header + 16), height = bigEndian(header + 20);
        if (width <= 0 || height <= 0) throw FileError(path, "the image is empty");
        if (width > kMaxFramePixels || height > kMaxFramePixels || width * height > kMaxFramePixels)
            throw FileError(path, "the image is too large (" + std::to_string(width) + "x" + std::to_string(height) +
                                      "; at most " + std::to_string(kMaxFramePixels) + " pixels)");
        try {
            checkFrameMemory(width, height, 5); // the frame and, while decoding, the file's samples
        } catch (const std::invalid_argument &error) {
            throw FileError(path, std::string("the image is too large: ") + error.what());
        }
        decodePlainPng(path, bytes, decoded.image);
        decoded.sampleType = "uint8";
        decoded.deep.clear();
        return;
    }
    imageCodec(path).read(path, png ? &bytes : nullptr, decoded, &checkFrameMemory);
}

void writeImageFile(const std::string &path, const host::RgbaImage &image, const std::string &sampleType,
                    const std::vector<float> *deep, int pngCompression) {
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    if (deep != nullptr && deep->size() != pixels * 4)
        throw FileError(path, "the full-precision frame has the wrong size");
    AtomicFile file(path);
    if (hasPngExtension(path)) {
        encodePng(path, image, deep, sampleType == "uint16" ? 16 : 8, pngCompression,
                  [&](std::string_view bytes) { file.write(bytes); });
        file.commit();
        return;
    }
    std::vector<unsigned char> encoded;
    const bool inMemory = imageCodec(path).write(path, image, sampleType, deep, encoded, [&] {
        file.handOver();
        return file.temporaryPath();
    });
    if (inMemory) file.write(std::string_view(reinterpret_cast<const char *>(encoded.data()), encoded.size()));
    file.commit();
}

} // namespace kivo::media
