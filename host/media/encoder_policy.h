// How vidmixer sets up a video encoder: its pixel format, its quality, and
// the settings that bound its memory. A pure function of the frame size,
// the codec and the user's options, so that it can be checked on its own.
#ifndef KIVO_HOST_MEDIA_ENCODER_POLICY_H
#define KIVO_HOST_MEDIA_ENCODER_POLICY_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kivo::media {

using CodecOptions = std::vector<std::pair<std::string, std::string>>;

struct EncoderRequest {
    std::string codec; // an FFmpeg encoder's name, such as libx264
    int64_t width = 0, height = 0;
    bool alpha = false;     // the frames carry alpha
    CodecOptions given;     // the user's KEY=VALUE options; pix_fmt picks the pixel format
    unsigned processors = 1;
};

struct EncoderSetup {
    CodecOptions options;    // for the encoder: the user's, then the defaults they leave open
    std::string pixelFormat; // FFmpeg's name of it
    bool keepsAlpha = false; // the pixel format carries alpha
};

// Throws std::invalid_argument for an unknown encoder or pixel format.
EncoderSetup encoderPolicy(const EncoderRequest &request);

// Why frames of the size do not fit the pixel format (an odd width or height
// where colour is stored at half the resolution), with the fix; empty when
// they fit.
std::string sizeProblem(const std::string &codec, const std::string &pixelFormat, int64_t width, int64_t height);

} // namespace kivo::media

#endif
