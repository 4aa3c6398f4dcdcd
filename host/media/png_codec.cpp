#include "host/media/png_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
}
#include <png.h>

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
#include "host/media/av_handles.h"

namespace kivo::media {
namespace {

// An encoder with its frame and packet, kept by each thread from file to
// file: opening one per file allocated its buffers on fresh pages every time.
struct PngEncoder {
    CodecPtr codec;
    AvFramePtr frame{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
    int width = 0, height = 0, level = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    std::vector<uint8_t> rgb; // an opaque image's RGB rows, for the encoder
};

thread_local std::unique_ptr<PngEncoder> tEncoder;
thread_local std::vector<png_bytep> tRowPointers; // a decoded image's rows, kept by each thread

// Unreferences a frame or packet when the scope ends, thrown through or not.
struct FrameRelease {
    AVFrame *frame;
    ~FrameRelease() { av_frame_unref(frame); }
};
struct PacketRelease {
    AVPacket *packet;
    ~PacketRelease() { av_packet_unref(packet); }
};

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

// Opens the encoder again when the size, the pixel format or the level
// differ from the last image's. Each PNG is complete in itself: the encoder
// resets its compressor after every image and keeps nothing else from it.
void openEncoder(PngEncoder &coder, const std::string &path, int width, int height, AVPixelFormat format, int level) {
    if (coder.codec && coder.width == width && coder.height == height && coder.format == format &&
        coder.level == level)
        return;
    coder.codec.reset();
    const AVCodec *png = avcodec_find_encoder(AV_CODEC_ID_PNG);
    CodecPtr codec(png == nullptr ? nullptr : avcodec_alloc_context3(png));
    if (!codec || !coder.frame || !coder.packet) throw FileError(path, "cannot write image: no PNG encoder");
    codec->width = width;
    codec->height = height;
    codec->pix_fmt = format;
    codec->time_base = {1, 1};
    codec->thread_count = 1;
    codec->compression_level = level; // zlib's level
    if (const int status = avcodec_open2(codec.get(), png, nullptr); status < 0)
        throw FileError(path, "cannot write image: " + avReason(status));
    coder.codec = std::move(codec);
    coder.width = width;
    coder.height = height;
    coder.format = format;
    coder.level = level;
}

void encodeWith(PngEncoder &coder, const std::string &path, const host::RgbaImage &image, int compression,
                const std::function<void(std::string_view)> &write) {
    const size_t width = static_cast<size_t>(image.width);
    const size_t pixels = width * static_cast<size_t>(image.height);
    // One pass takes the RGB rows and checks alpha; the first row with alpha
    // below 255 ends it, and the image goes out as RGBA.
    host::reserveFrameBuffer(coder.rgb, pixels * 3);
    coder.rgb.resize(pixels * 3);
    bool alpha = false;
    for (size_t y = 0; y < static_cast<size_t>(image.height) && !alpha; ++y)
        alpha = !host::packRgbaToRgb(image.pixels.data() + y * width * 4, coder.rgb.data() + y * width * 3, width);
    openEncoder(coder, path, image.width, image.height, alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24, compression);
    AVFrame *frame = coder.frame.get();
    AVPacket *packet = coder.packet.get();
    const FrameRelease releaseFrame{frame};
    const PacketRelease releasePacket{packet};
    frame->format = coder.format;
    frame->width = image.width;
    frame->height = image.height;
    // The encoder only reads the frame, and has let go of it when it hands
    // back the packet: it takes the rows where they are, lent to it as a
    // buffer that is never freed through it.
    uint8_t *rows = alpha ? const_cast<uint8_t *>(image.pixels.data()) : coder.rgb.data();
    const size_t rowBytes = width * (alpha ? 4 : 3);
    frame->buf[0] = av_buffer_create(rows, static_cast<int>(rowBytes * image.height), [](void *, uint8_t *) {},
                                     nullptr, AV_BUFFER_FLAG_READONLY);
    if (frame->buf[0] == nullptr) throw FileError(path, "not enough memory to write it");
    frame->data[0] = rows;
    frame->linesize[0] = static_cast<int>(rowBytes);
    int status = avcodec_send_frame(coder.codec.get(), frame);
    if (status >= 0) status = avcodec_receive_packet(coder.codec.get(), packet);
    if (status < 0) throw FileError(path, "cannot write image: " + avReason(status));
    write(std::string_view(reinterpret_cast<const char *>(packet->data), static_cast<size_t>(packet->size)));
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

void encodePlainPng(const std::string &path, const host::RgbaImage &image, int compression,
                    const std::function<void(std::string_view)> &write) {
    if (!tEncoder) tEncoder = std::make_unique<PngEncoder>();
    try {
        encodeWith(*tEncoder, path, image, compression, write);
    } catch (...) {
        tEncoder.reset(); // the next image gets an encoder in a known state
        throw;
    }
}

} // namespace kivo::media
