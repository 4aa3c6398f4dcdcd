// The image library's side of image files, built as a library of its own
// that the host loads on first use (see image_codec.h).
#include "host/media/image_codec.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/media/atomic_file.h"
#include "host/media/raw_stream.h"

namespace kivo::media {
namespace {


namespace OIIO = OIIO_NAMESPACE;

// The image library's message on one line.
std::string oiioReason(const std::string &detail) {
    const std::string message = detail.empty() ? OIIO::geterror() : detail;
    std::string reason;
    for (char c : message) {
        if (c != '\n')
            reason += c;
        else if (!reason.empty() && reason.back() != ' ')
            reason += "; ";
    }
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == ';'))
        reason.pop_back();
    return reason.empty() ? "unknown image library error" : reason;
}

// Keep alpha as the file stores it, and colour values untouched.
OIIO::ImageSpec readerConfig() {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    return config;
}

bool fullyOpaque(const host::RgbaImage &image, const std::vector<float> *deep) {
    if (deep != nullptr) {
        for (size_t i = 3; i < deep->size(); i += 4)
            if ((*deep)[i] != 1.0f) return false;
        return true;
    }
    const uint8_t *pixel = image.pixels.data();
    uint8_t all = 255;
    for (size_t i = 0, n = image.pixels.size() / 4; i < n; ++i) all &= pixel[i * 4 + 3];
    return all == 255;
}

// Samples of `channels` interleaved channels -> RGBA: the first three that are
// not alpha are red, green, blue; a single one is grey; no alpha is opaque.
template <typename T>
void toRgba(const T *from, size_t pixels, int channels, int alpha, T opaque, T *to) {
    int colour[3] = {0, 0, 0};
    int found = 0;
    for (int c = 0; c < channels && found < 3; ++c)
        if (c != alpha) colour[found++] = c;
    if (found < 3) colour[1] = colour[2] = colour[0];
    for (size_t i = 0; i < pixels; ++i, from += channels, to += 4) {
        to[0] = from[colour[0]];
        to[1] = from[colour[1]];
        to[2] = from[colour[2]];
        to[3] = alpha >= 0 ? from[alpha] : opaque;
    }
}

void readImage(const std::string &path, const std::string *bytes, DecodedImage &decoded,
               void (*checkFrameMemory)(int64_t, int64_t, int64_t)) {
    const OIIO::ImageSpec config = readerConfig();
    std::unique_ptr<OIIO::Filesystem::IOMemReader> memory;
    if (bytes != nullptr) memory = std::make_unique<OIIO::Filesystem::IOMemReader>(bytes->data(), bytes->size());
    auto input = OIIO::ImageInput::open(path, &config, memory.get());
    if (!input) throw FileError(path, "cannot read image: " + oiioReason(""));
    // Dimensions, channel count, sample type and alpha channel are all this reads.
    const OIIO::ImageSpec imageSpec = input->spec_dimensions(0);
    const int channels = imageSpec.nchannels;
    if (imageSpec.width <= 0 || imageSpec.height <= 0 || channels <= 0) throw FileError(path, "the image is empty");
    if (channels > 64) throw FileError(path, "the image has " + std::to_string(channels) + " channels (at most 64)");
    if (static_cast<int64_t>(imageSpec.width) * imageSpec.height > kMaxFramePixels)
        throw FileError(path, "the image is too large (" + std::to_string(imageSpec.width) + "x" +
                                  std::to_string(imageSpec.height) + "; at most " + std::to_string(kMaxFramePixels) +
                                  " pixels)");
    const bool deep = imageSpec.format != OIIO::TypeDesc::UINT8;
    const size_t nativeSize = deep ? imageSpec.format.size() : 1;
    // The declared size against the memory budget, before any allocation: the
    // frame (4 bytes a pixel, 16 more at full precision) and, while reading,
    // the file's own samples.
    try {
        checkFrameMemory(imageSpec.width, imageSpec.height,
                         4 + (deep ? 16 : 0) + (int64_t(channels) * int64_t(nativeSize + (deep ? 1 : 0)) + 9) / 10);
    } catch (const std::invalid_argument &error) {
        throw FileError(path, std::string("the image is too large: ") + error.what());
    }

    const size_t pixels = static_cast<size_t>(imageSpec.width) * imageSpec.height;
    const int alpha = imageSpec.alpha_channel >= 0 && imageSpec.alpha_channel < channels ? imageSpec.alpha_channel : -1;
    decoded.sampleType = imageSpec.format.c_str();
    decoded.image.width = imageSpec.width;
    decoded.image.height = imageSpec.height;
    decoded.image.pixels.resize(pixels * 4); // a reused buffer of the right size stays as it is
    if (deep) decoded.deep.resize(pixels * 4);
    else decoded.deep.clear();
    // RGBA files convert straight into the frame; others through a buffer
    // each reading thread keeps.
    const bool rgba = channels == 4 && alpha == 3;
    thread_local std::vector<uint8_t> samples;
    thread_local std::vector<float> floats;
    samples.resize(rgba ? 0 : pixels * channels);
    floats.resize(rgba || !deep ? 0 : pixels * channels);
    uint8_t *target = rgba ? decoded.image.pixels.data() : samples.data();
    float *values = rgba ? decoded.deep.data() : floats.data();
    if (!deep) {
        if (!input->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, target))
            throw FileError(path, "cannot read image: " + oiioReason(input->geterror()));
    } else {
        // Read once as stored, then convert: to 8 bits as the library always
        // did, and to floats that keep every value.
        std::vector<uint8_t> native(pixels * channels * nativeSize);
        if (!input->read_image(0, 0, 0, channels, imageSpec.format, native.data()))
            throw FileError(path, "cannot read image: " + oiioReason(input->geterror()));
        const auto stride = OIIO::AutoStride;
        if (!OIIO::convert_image(channels, imageSpec.width, imageSpec.height, 1, native.data(), imageSpec.format,
                                 stride, stride, stride, target, OIIO::TypeDesc::UINT8, stride, stride, stride) ||
            !OIIO::convert_image(channels, imageSpec.width, imageSpec.height, 1, native.data(), imageSpec.format,
                                 stride, stride, stride, values, OIIO::TypeDesc::FLOAT, stride, stride, stride))
            throw FileError(path, "cannot convert its " + decoded.sampleType + " samples");
        if (!rgba) toRgba(values, pixels, channels, alpha, 1.0f, decoded.deep.data());
    }
    if (!rgba) toRgba(target, pixels, channels, alpha, uint8_t{255}, decoded.image.pixels.data());
}


bool writeImage(const std::string &path, const host::RgbaImage &image, const std::string &sampleType,
                const std::vector<float> *deep, std::vector<unsigned char> &encoded,
                const std::function<std::string()> &handOver) {
    // Declared before the writer, which may still write to it while it is
    // destroyed after an error.
    OIIO::Filesystem::IOVecOutput memory(encoded);
    auto output = OIIO::ImageOutput::create(path);
    if (!output) throw FileError(path, "cannot write this image format: " + oiioReason(""));
    // An alpha channel that is opaque everywhere carries nothing: such frames
    // are written as RGB, which is a quarter less to compress and store.
    const bool alpha = output->supports("alpha") && !fullyOpaque(image, deep);
    const int channels = alpha ? 4 : 3;
    OIIO::ImageSpec imageSpec(image.width, image.height, channels, OIIO::TypeDesc(sampleType));
    if (imageSpec.format == OIIO::TypeDesc::UNKNOWN) imageSpec.set_format(OIIO::TypeDesc::UINT8);
    imageSpec.alpha_channel = alpha ? 3 : -1;
    imageSpec.attribute("oiio:UnassociatedAlpha", 1);

    const OIIO::TypeDesc given = deep != nullptr ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8;
    const void *data = deep != nullptr ? static_cast<const void *>(deep->data()) : image.pixels.data();
    // The library reads the channels it writes from each RGBA pixel: RGB
    // needs no copy of its own.
    const OIIO::stride_t pixelStride = OIIO::stride_t(4 * given.size());

    // The library writes into memory where the format allows, and the bytes
    // reach the file through our own checked writes: a failing write, flush
    // or close cannot get lost inside the library's error handling.
    const bool inMemory = output->supports("ioproxy");
    std::string writePath = path;
    if (inMemory)
        output->set_ioproxy(&memory);
    else
        writePath = handOver();
    if (!output->open(writePath, imageSpec))
        throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    if (!output->write_image(given, data, pixelStride))
        throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    if (!output->close()) throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    output.reset();
    if (inMemory && encoded.empty()) throw FileError(path, "cannot write image: the image library produced no data");
    return inMemory;
}


const ImageCodec kCodec{&readImage, &writeImage};

} // namespace
} // namespace kivo::media

extern "C" __attribute__((visibility("default"))) const kivo::media::ImageCodec *kivoImageCodec() {
    return &kivo::media::kCodec;
}
