#include "host/media/image_file.h"

#include <OpenImageIO/imageio.h>

#include <vector>

#include "host/media/atomic_file.h"
#include "host/media/raw_stream.h"

namespace kivo::media {
namespace {

namespace OIIO = OIIO_NAMESPACE;

constexpr int kPngFilterNone = 0x08;

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

bool fullyOpaque(const host::RgbaImage &image) {
    const uint8_t *pixel = image.pixels.data();
    uint8_t all = 255;
    for (size_t i = 0, n = image.pixels.size() / 4; i < n; ++i) all &= pixel[i * 4 + 3];
    return all == 255;
}

} // namespace

DecodedImage readImageFile(const std::string &path) {
    const OIIO::ImageSpec config = readerConfig();
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input) throw FileError(path, "cannot read image: " + oiioReason(""));
    // Dimensions, channel count, sample type and alpha channel are all this reads.
    const OIIO::ImageSpec imageSpec = input->spec_dimensions(0);
    const int channels = imageSpec.nchannels;
    if (imageSpec.width <= 0 || imageSpec.height <= 0 || channels <= 0) throw FileError(path, "the image is empty");
    if (static_cast<int64_t>(imageSpec.width) * imageSpec.height > kMaxFramePixels)
        throw FileError(path, "the image is too large (" + std::to_string(imageSpec.width) + "x" +
                                  std::to_string(imageSpec.height) + ")");

    std::vector<uint8_t> samples(static_cast<size_t>(imageSpec.width) * imageSpec.height * channels);
    if (!input->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, samples.data()))
        throw FileError(path, "cannot read image: " + oiioReason(input->geterror()));

    DecodedImage decoded;
    decoded.sampleType = imageSpec.format.c_str();
    decoded.image = host::RgbaImage(imageSpec.width, imageSpec.height);
    const int alpha = imageSpec.alpha_channel >= 0 && imageSpec.alpha_channel < channels ? imageSpec.alpha_channel : -1;
    // The first three channels that are not alpha are red, green, blue; a
    // single one is grey.
    int colour[3] = {0, 0, 0};
    int found = 0;
    for (int c = 0; c < channels && found < 3; ++c)
        if (c != alpha) colour[found++] = c;
    if (found < 3) colour[1] = colour[2] = colour[0];

    const size_t pixels = static_cast<size_t>(imageSpec.width) * imageSpec.height;
    const uint8_t *from = samples.data();
    uint8_t *to = decoded.image.pixels.data();
    for (size_t i = 0; i < pixels; ++i, from += channels, to += 4) {
        to[0] = from[colour[0]];
        to[1] = from[colour[1]];
        to[2] = from[colour[2]];
        to[3] = alpha >= 0 ? from[alpha] : 255;
    }
    return decoded;
}

void writeImageFile(const std::string &path, const host::RgbaImage &image, const std::string &sampleType) {
    AtomicFile file(path);
    auto output = OIIO::ImageOutput::create(path);
    if (!output) throw FileError(path, "cannot write this image format: " + oiioReason(""));
    // An alpha channel that is opaque everywhere carries nothing: such frames
    // are written as RGB, which is a quarter less to compress and store.
    const bool alpha = output->supports("alpha") && !fullyOpaque(image);
    const int channels = alpha ? 4 : 3;
    OIIO::ImageSpec imageSpec(image.width, image.height, channels, OIIO::TypeDesc(sampleType));
    if (imageSpec.format == OIIO::TypeDesc::UNKNOWN) imageSpec.set_format(OIIO::TypeDesc::UINT8);
    imageSpec.alpha_channel = alpha ? 3 : -1;
    imageSpec.attribute("oiio:UnassociatedAlpha", 1);
    // PNG rows without a prediction filter (libpng's PNG_FILTER_NONE), as
    // ffmpeg writes them: about twice as fast as trying every filter, and
    // smaller on grainy frames.
    imageSpec.attribute("png:filter", kPngFilterNone);

    std::vector<uint8_t> rgb;
    const uint8_t *data = image.pixels.data();
    if (!alpha) {
        rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
        for (size_t i = 0, n = rgb.size() / 3; i < n; ++i)
            for (int c = 0; c < 3; ++c)
                rgb[i * 3 + c] = image.pixels[i * 4 + c];
        data = rgb.data();
    }
    if (!output->open(file.temporaryPath(), imageSpec))
        throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    if (!output->write_image(OIIO::TypeDesc::UINT8, data))
        throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    if (!output->close()) throw FileError(path, "cannot write image: " + oiioReason(output->geterror()));
    output.reset();
    file.commit();
}

} // namespace kivo::media
