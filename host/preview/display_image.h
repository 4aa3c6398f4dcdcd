// A frame as the page shows it: an uncompressed BMP file, lossless and made
// and decoded at memory speed (a PNG's checksums and deflate blocks cost a
// 1080p frame more than filtering it). 24-bit where every pixel is opaque,
// else 32-bit with its alpha; rows top to bottom.
#ifndef KIVO_HOST_PREVIEW_DISPLAY_IMAGE_H
#define KIVO_HOST_PREVIEW_DISPLAY_IMAGE_H

#include <string>

#include "host/core/rgba_image.h"

namespace kivo::preview {

std::string bmpOf(const host::RgbaImage &image);

} // namespace kivo::preview

#endif
