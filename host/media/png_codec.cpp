#include "host/media/png_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

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

// A codec context with its frame and packet, kept by each thread from file to
// file: opening one per file allocated (and the decoder zeroed) its frame and
// packet buffers on fresh pages every time.
struct PngCoder {
    CodecPtr codec;
    AvFramePtr frame{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
    int width = 0, height = 0, level = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    std::vector<uint8_t> rgb; // an opaque image's RGB rows, for the encoder
};

thread_local std::unique_ptr<PngCoder> tDecoder;
thread_local std::unique_ptr<PngCoder> tEncoder;

// Unreferences a frame or packet when the scope ends, thrown through or not.
struct FrameRelease {
    AVFrame *frame;
    ~FrameRelease() { av_frame_unref(frame); }
};
struct PacketRelease {
    AVPacket *packet;
    ~PacketRelease() { av_packet_unref(packet); }
};

PngCoder &threadDecoder(const std::string &path) {
    if (tDecoder) return *tDecoder;
    auto decoder = std::make_unique<PngCoder>();
    const AVCodec *png = avcodec_find_decoder(AV_CODEC_ID_PNG);
    decoder->codec.reset(png == nullptr ? nullptr : avcodec_alloc_context3(png));
    if (!decoder->codec || !decoder->frame || !decoder->packet)
        throw FileError(path, "cannot read image: no PNG decoder");
    decoder->codec->thread_count = 1;
    if (const int status = avcodec_open2(decoder->codec.get(), png, nullptr); status < 0)
        throw FileError(path, "cannot read image: " + avReason(status));
    tDecoder = std::move(decoder);
    return *tDecoder;
}

// Opens the encoder again when the size, the pixel format or the level
// differ from the last image's. Each PNG is complete in itself: the encoder
// resets its compressor after every image and keeps nothing else from it.
void openEncoder(PngCoder &coder, const std::string &path, int width, int height, AVPixelFormat format, int level) {
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

void decodeWith(PngCoder &decoder, const std::string &path, const std::string &bytes, host::RgbaImage &image) {
    AVPacket *packet = decoder.packet.get();
    packet->data = reinterpret_cast<uint8_t *>(const_cast<char *>(bytes.data()));
    packet->size = static_cast<int>(bytes.size());
    // Every file is a picture of its own. FFmpeg's PNG decoder takes a packet
    // that is not marked as a key frame, of the previous picture's size and
    // format, as a change to that picture, and adds the previous pixels to it
    // (flushing the decoder does not stop that).
    packet->flags = AV_PKT_FLAG_KEY;
    int status = avcodec_send_packet(decoder.codec.get(), packet);
    packet->data = nullptr;
    packet->size = 0;
    AVFrame *frame = decoder.frame.get();
    if (status >= 0) status = avcodec_receive_frame(decoder.codec.get(), frame);
    if (status < 0) throw FileError(path, "cannot read image: " + avReason(status));
    const FrameRelease release{frame};
    const bool rgba = frame->format == AV_PIX_FMT_RGBA;
    if ((!rgba && frame->format != AV_PIX_FMT_RGB24) || frame->width <= 0 || frame->height <= 0)
        throw FileError(path, "cannot read image: unexpected PNG layout");
    const size_t width = static_cast<size_t>(frame->width);
    image.width = frame->width;
    image.height = frame->height;
    const size_t size = width * static_cast<size_t>(frame->height) * 4;
    host::reserveFrameBuffer(image.pixels, size);
    image.pixels.resize(size);
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t *from = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint8_t *to = image.pixels.data() + static_cast<size_t>(y) * width * 4;
        if (rgba)
            std::memcpy(to, from, width * 4);
        else
            host::expandRgbToRgba(from, to, width);
    }
}

void encodeWith(PngCoder &coder, const std::string &path, const host::RgbaImage &image, int compression,
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
    PngCoder &decoder = threadDecoder(path);
    try {
        decodeWith(decoder, path, bytes, image);
    } catch (...) {
        tDecoder.reset(); // a file that failed leaves nothing behind for the next
        throw;
    }
}

void encodePlainPng(const std::string &path, const host::RgbaImage &image, int compression,
                    const std::function<void(std::string_view)> &write) {
    if (!tEncoder) tEncoder = std::make_unique<PngCoder>();
    try {
        encodeWith(*tEncoder, path, image, compression, write);
    } catch (...) {
        tEncoder.reset(); // the next image gets an encoder in a known state
        throw;
    }
}

} // namespace kivo::media
