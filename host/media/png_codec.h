// PNG files without the image library and the quarter second it takes to
// load it and its dependencies: 8-bit RGB and RGBA files read by libpng
// straight into the frame; every PNG written with its rows compressed by
// libdeflate, which at a given level takes half zlib's time or less.
#ifndef KIVO_HOST_MEDIA_PNG_CODEC_H
#define KIVO_HOST_MEDIA_PNG_CODEC_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/core/rgba_image.h"

namespace kivo::media {

// True for the bytes of a PNG file this path decodes: 8 bits a sample, RGB
// without a transparent colour, or RGBA.
bool isPlainPng(const std::string &bytes);

// Decodes such a file, its chunks' checksums already verified, into image
// (its buffer reused when it has the right size). Throws FileError naming
// path.
void decodePlainPng(const std::string &path, const std::string &bytes, host::RgbaImage &image);

// Encodes a frame as a PNG of depth bits a sample (8 or 16): RGB when alpha
// is opaque everywhere, RGBA otherwise; from deep (width * height * 4
// floats, 0 to 1) when given, else from image. Each row takes the
// prediction filter that suits it (see png_filter.h), and the rows are
// compressed at libdeflate's level, 0 (none) to 9 on its zlib-like scale.
// Hands the file's bytes to write in order, in views it must not keep.
// Throws FileError naming path.
void encodePng(const std::string &path, const host::RgbaImage &image, const std::vector<float> *deep, int depth,
               int level, const std::function<void(std::string_view)> &write);

} // namespace kivo::media

#endif
