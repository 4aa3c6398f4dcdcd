#include "host/media/png_codec.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "host/core/frame_buffer.h"
#include "host/core/pixel_layout.h"
#include "host/media/atomic_file.h"
#include "host/media/png_filter.h"

namespace kivo::media {
namespace {

thread_local std::vector<png_bytep> tRowPointers; // a decoded image's rows, kept by each thread

// A file being decoded by libpng, which reports failures by a long jump: the
// functions that call into it hold nothing that needs destroying, and keep
// its message for the exception thrown once they have returned.
struct PngInput {
    const std::string *bytes;
    size_t at = 0;
    char failure[200] = {};
};

extern "C" void pngReadBytes(png_structp png, png_bytep out, size_t count) {
    auto &input = *static_cast<PngInput *>(png_get_io_ptr(png));
    if (count > input.bytes->size() - input.at) png_error(png, "the file is cut short");
    std::memcpy(out, input.bytes->data() + input.at, count);
    input.at += count;
}

extern "C" void pngFail(png_structp png, png_const_charp message) {
    auto &input = *static_cast<PngInput *>(png_get_error_ptr(png));
    std::snprintf(input.failure, sizeof input.failure, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void pngWarn(png_structp, png_const_charp) {}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Reads the header and sets the output to 8-bit RGBA; false on failure.
bool readPngHeader(PngReader &reader, PngInput &input, png_uint_32 &width, png_uint_32 &height) {
    if (setjmp(png_jmpbuf(reader.png))) return false;
    png_set_read_fn(reader.png, &input, pngReadBytes);
    // Every chunk's checksum was verified before decoding (checkPngChunks),
    // and the checksums cover the compressed image: zlib's own check of it,
    // a quarter of the decoding time, adds nothing.
    png_set_crc_action(reader.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_read_info(reader.png, reader.info);
    width = png_get_image_width(reader.png, reader.info);
    height = png_get_image_height(reader.png, reader.info);
    if (png_get_color_type(reader.png, reader.info) == PNG_COLOR_TYPE_RGB)
        png_set_filler(reader.png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    return png_get_rowbytes(reader.png, reader.info) == size_t{width} * 4;
}

bool readPngRows(PngReader &reader, png_bytep *rows) {
    if (setjmp(png_jmpbuf(reader.png))) return false;
    png_read_image(reader.png, rows);
    png_read_end(reader.png, nullptr);
    return true;
}

// What each thread keeps from file to file for writing PNGs: its buffers
// and its compressor.
struct CompressorFree {
    void operator()(libdeflate_compressor *compressor) const { libdeflate_free_compressor(compressor); }
};

struct PngEncoder {
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor;
    int level = -1;
    std::vector<uint8_t> filtered; // each row's filter type byte and its filtered bytes
    std::vector<uint8_t> rows;     // a row of zeros, two unfiltered rows, four candidate rows
    std::unique_ptr<uint8_t[]> compressed; // never cleared: only the pages written are backed
    size_t compressedCapacity = 0;
};

thread_local std::unique_ptr<PngEncoder> tEncoder;

struct PngLayout {
    size_t width, height;
    int channels; // 3 (RGB) or 4 (RGBA)
    int depth;    // 8 or 16
    size_t pixelBytes() const { return size_t(channels) * size_t(depth / 8); }
    size_t rowBytes() const { return width * pixelBytes(); }
};

// Row y's samples as the file holds them, in `to` unless the frame's own
// row will do; null when the layout has no alpha and the row is not opaque.
const uint8_t *sampleRow(const host::RgbaImage &image, const std::vector<float> *deep, const PngLayout &layout,
                         size_t y, uint8_t *to) {
    const size_t first = y * layout.width * 4;
    bool opaque;
    if (deep != nullptr)
        opaque = host::packFloatRgba(deep->data() + first, layout.width, layout.channels, layout.depth, to);
    else if (layout.depth == 16)
        opaque = host::widenRgbaTo16(image.pixels.data() + first, layout.width, layout.channels, to);
    else if (layout.channels == 4)
        return image.pixels.data() + first;
    else
        opaque = host::packRgbaToRgb(image.pixels.data() + first, to, layout.width);
    return opaque || layout.channels == 4 ? to : nullptr;
}

// Fills coder.filtered with the rows in the layout; false when it has no
// alpha and some row is not opaque.
bool filterRows(PngEncoder &coder, const host::RgbaImage &image, const std::vector<float> *deep,
                const PngLayout &layout) {
    const size_t n = layout.rowBytes();
    coder.rows.assign(7 * n, 0);
    uint8_t *unfiltered[2] = {coder.rows.data() + n, coder.rows.data() + 2 * n};
    host::reserveFrameBuffer(coder.filtered, (n + 1) * layout.height);
    coder.filtered.resize((n + 1) * layout.height);
    const uint8_t *above = coder.rows.data();
    uint8_t type = 0;
    for (size_t y = 0; y < layout.height; ++y) {
        const uint8_t *row = sampleRow(image, deep, layout, y, unfiltered[y % 2]);
        if (row == nullptr) return false;
        uint8_t *out = coder.filtered.data() + y * (n + 1);
        if (y % kRowsPerFilterChoice == 0)
            type = filterPngRow(row, above, n, layout.pixelBytes(), out, coder.rows.data() + 3 * n);
        else
            applyPngFilter(type, row, above, n, layout.pixelBytes(), out);
        above = row;
    }
    return true;
}

// Compresses coder.filtered into coder.compressed as a zlib stream; returns
// its size.
size_t compressRows(PngEncoder &coder, const std::string &path, int level) {
    if (coder.compressor == nullptr || coder.level != level) {
        coder.compressor.reset();
        coder.compressor.reset(libdeflate_alloc_compressor(level));
        coder.level = level;
        if (coder.compressor == nullptr)
            throw FileError(path, "cannot write image: no compressor at level " + std::to_string(level));
    }
    const size_t bound = libdeflate_zlib_compress_bound(coder.compressor.get(), coder.filtered.size());
    if (coder.compressedCapacity < bound) {
        coder.compressed.reset(); // the old buffer goes before the new one comes
        coder.compressedCapacity = 0;
        coder.compressed.reset(new uint8_t[bound]);
        coder.compressedCapacity = bound;
    }
    const size_t size = libdeflate_zlib_compress(coder.compressor.get(), coder.filtered.data(), coder.filtered.size(),
                                                 coder.compressed.get(), bound);
    if (size == 0) throw FileError(path, "cannot write image: the compressor failed");
    return size;
}

void appendBigEndian(std::string &bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
}

// A chunk's checksum covers its type and its data. (Given no data,
// libdeflate returns its initial value, not the one passed in.)
uint32_t chunkCrc(const char *type, const uint8_t *data, size_t size) {
    const uint32_t crc = libdeflate_crc32(0, type, 4);
    return size == 0 ? crc : libdeflate_crc32(crc, data, size);
}

void appendChunk(std::string &bytes, const char *type, const uint8_t *data, size_t size) {
    appendBigEndian(bytes, static_cast<uint32_t>(size));
    bytes.append(type, 4);
    bytes.append(reinterpret_cast<const char *>(data), size);
    appendBigEndian(bytes, chunkCrc(type, data, size));
}

// The file: signature, header, the compressed rows in IDAT chunks (more
// than one only where a chunk's 31-bit length demands), end. Each part
// goes to write straight from where it lies.
void writeFile(const PngLayout &layout, const uint8_t *rows, size_t size,
               const std::function<void(std::string_view)> &write) {
    constexpr size_t kMaxChunk = 0x7fffffff;
    std::string bytes("\x89PNG\r\n\x1a\n", 8);
    uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(layout.width >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(layout.height >> (24 - 8 * i));
    }
    header[8] = static_cast<uint8_t>(layout.depth);
    header[9] = layout.channels == 4 ? 6 : 2; // colour type: RGBA or RGB
    appendChunk(bytes, "IHDR", header, sizeof header);
    for (size_t at = 0; at < size;) {
        const size_t part = std::min(size - at, kMaxChunk);
        appendBigEndian(bytes, static_cast<uint32_t>(part));
        bytes += "IDAT";
        write(bytes);
        write(std::string_view(reinterpret_cast<const char *>(rows + at), part));
        bytes.clear();
        appendBigEndian(bytes, chunkCrc("IDAT", rows + at, part));
        at += part;
    }
    appendChunk(bytes, "IEND", nullptr, 0);
    write(bytes);
}

} // namespace

bool isPlainPng(const std::string &bytes) {
    // Signature, then the IHDR chunk: width, height, bit depth, colour type.
    if (bytes.size() < 33 || bytes.compare(12, 4, "IHDR") != 0) return false;
    const auto depth = static_cast<unsigned char>(bytes[24]);
    const auto colour = static_cast<unsigned char>(bytes[25]);
    if (depth != 8) return false;
    if (colour == 6) return true;
    return colour == 2 && bytes.find("tRNS") == std::string::npos;
}

void decodePlainPng(const std::string &path, const std::string &bytes, host::RgbaImage &image) {
    PngInput input{&bytes};
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, pngFail, pngWarn);
    if (reader.png != nullptr) reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr) throw FileError(path, "cannot read image: not enough memory");
    png_uint_32 width = 0, height = 0;
    if (!readPngHeader(reader, input, width, height))
        throw FileError(path, std::string("cannot read image: ") + (*input.failure ? input.failure : "unexpected PNG layout"));
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    const size_t rowBytes = size_t{width} * 4;
    host::reserveFrameBuffer(image.pixels, rowBytes * height);
    image.pixels.resize(rowBytes * height);
    // The rows are read where they go: no copy of the image between.
    std::vector<png_bytep> &rows = tRowPointers;
    rows.resize(height);
    for (size_t y = 0; y < height; ++y) rows[y] = image.pixels.data() + y * rowBytes;
    if (!readPngRows(reader, rows.data())) throw FileError(path, std::string("cannot read image: ") + input.failure);
}

void encodePng(const std::string &path, const host::RgbaImage &image, const std::vector<float> *deep, int depth,
               int level, const std::function<void(std::string_view)> &write) {
    if (image.width <= 0 || image.height <= 0) throw FileError(path, "cannot write an empty image");
    if (!tEncoder) tEncoder = std::make_unique<PngEncoder>();
    PngEncoder &coder = *tEncoder;
    PngLayout layout{size_t(image.width), size_t(image.height), 3, depth};
    if (!filterRows(coder, image, deep, layout)) {
        layout.channels = 4;
        filterRows(coder, image, deep, layout);
    }
    const size_t size = compressRows(coder, path, level);
    writeFile(layout, coder.compressed.get(), size, write);
}

} // namespace kivo::media
