// 8-bit RGB and RGBA PNG files without the image library and the quarter
// second it takes to load it and its dependencies: read by libpng straight
// into the frame, written by FFmpeg's PNG encoder, which the host has loaded
// anyway.
#ifndef KIVO_HOST_MEDIA_PNG_CODEC_H
#define KIVO_HOST_MEDIA_PNG_CODEC_H

#include <functional>
#include <string>
#include <string_view>

#include "host/core/rgba_image.h"

namespace kivo::media {

// True for the bytes of a PNG file this path decodes: 8 bits a sample, RGB
// without a transparent colour, or RGBA.
bool isPlainPng(const std::string &bytes);

// Decodes such a file, its chunks' checksums already verified, into image
// (its buffer reused when it has the right size). Throws FileError naming
// path.
void decodePlainPng(const std::string &path, const std::string &bytes, host::RgbaImage &image);

// Encodes the image as a PNG: RGB when alpha is opaque everywhere, RGBA
// otherwise, rows without a prediction filter; hands the file's bytes to
// write, which must not keep the view. Throws FileError naming path.
void encodePlainPng(const std::string &path, const host::RgbaImage &image, int compression,
                    const std::function<void(std::string_view)> &write);

} // namespace kivo::media

#endif
