#include "host/media/png_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <memory>

#include "host/media/atomic_file.h"
#include "host/media/av_handles.h"

namespace kivo::media {
namespace {

struct Decoder {
    CodecPtr codec;
    AvFramePtr frame{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
};

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
    // A decoder of its own for every file: one that decoded a PNG before
    // does not decode the next of the same size correctly.
    Decoder decoder;
    const AVCodec *png = avcodec_find_decoder(AV_CODEC_ID_PNG);
    decoder.codec.reset(png == nullptr ? nullptr : avcodec_alloc_context3(png));
    if (!decoder.codec || !decoder.frame || !decoder.packet) throw FileError(path, "cannot read image: no PNG decoder");
    decoder.codec->thread_count = 1;
    if (const int status = avcodec_open2(decoder.codec.get(), png, nullptr); status < 0)
        throw FileError(path, "cannot read image: " + avReason(status));
    AVPacket *packet = decoder.packet.get();
    packet->data = reinterpret_cast<uint8_t *>(const_cast<char *>(bytes.data()));
    packet->size = static_cast<int>(bytes.size());
    int status = avcodec_send_packet(decoder.codec.get(), packet);
    packet->data = nullptr;
    packet->size = 0;
    if (status >= 0) status = avcodec_receive_frame(decoder.codec.get(), decoder.frame.get());
    if (status < 0) throw FileError(path, "cannot read image: " + avReason(status));
    AVFrame *frame = decoder.frame.get();
    const bool rgba = frame->format == AV_PIX_FMT_RGBA;
    if ((!rgba && frame->format != AV_PIX_FMT_RGB24) || frame->width <= 0 || frame->height <= 0) {
        av_frame_unref(frame);
        throw FileError(path, "cannot read image: unexpected PNG layout");
    }
    const size_t width = static_cast<size_t>(frame->width);
    image.width = frame->width;
    image.height = frame->height;
    image.pixels.resize(width * static_cast<size_t>(frame->height) * 4);
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t *from = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint8_t *to = image.pixels.data() + static_cast<size_t>(y) * width * 4;
        if (rgba) {
            std::memcpy(to, from, width * 4);
            continue;
        }
        for (size_t x = 0; x < width; ++x, from += 3, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = 255;
        }
    }
    av_frame_unref(frame);
}

void encodePlainPng(const std::string &path, const host::RgbaImage &image, std::vector<unsigned char> &encoded,
                    int compression) {
    const size_t pixels = static_cast<size_t>(image.width) * image.height;
    uint8_t opaque = 255;
    for (size_t i = 0; i < pixels; ++i)
        opaque &= image.pixels[i * 4 + 3];
    const bool alpha = opaque != 255;
    const AVCodec *png = avcodec_find_encoder(AV_CODEC_ID_PNG);
    CodecPtr codec(png == nullptr ? nullptr : avcodec_alloc_context3(png));
    AvFramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!codec || !frame || !packet) throw FileError(path, "cannot write image: no PNG encoder");
    codec->width = image.width;
    codec->height = image.height;
    codec->pix_fmt = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
    codec->time_base = {1, 1};
    codec->thread_count = 1;
    codec->compression_level = compression; // zlib's level
    int status = avcodec_open2(codec.get(), png, nullptr);
    if (status < 0) throw FileError(path, "cannot write image: " + avReason(status));
    frame->format = codec->pix_fmt;
    frame->width = image.width;
    frame->height = image.height;
    if (alpha) {
        // The encoder only reads the frame: it takes the image's own rows,
        // lent to it as a buffer that is never freed through it.
        frame->buf[0] = av_buffer_create(const_cast<uint8_t *>(image.pixels.data()), static_cast<int>(pixels * 4),
                                         [](void *, uint8_t *) {}, nullptr, AV_BUFFER_FLAG_READONLY);
        if (frame->buf[0] == nullptr) throw FileError(path, "not enough memory to write it");
        frame->data[0] = frame->buf[0]->data;
        frame->linesize[0] = image.width * 4;
    } else {
        if (av_frame_get_buffer(frame.get(), 0) < 0) throw FileError(path, "not enough memory to write it");
        for (int y = 0; y < image.height; ++y) {
            const uint8_t *from = image.pixels.data() + static_cast<size_t>(y) * image.width * 4;
            uint8_t *to = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
            for (int x = 0; x < image.width; ++x, from += 4, to += 3) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
            }
        }
    }
    status = avcodec_send_frame(codec.get(), frame.get());
    if (status >= 0) status = avcodec_receive_packet(codec.get(), packet.get());
    if (status < 0) throw FileError(path, "cannot write image: " + avReason(status));
    encoded.assign(packet->data, packet->data + packet->size);
}

} // namespace kivo::media
