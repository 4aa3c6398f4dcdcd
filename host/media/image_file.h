// Reading and writing single image files of any format OpenImageIO knows,
// converted to and from the 8-bit RGBA frames the module works on.
#ifndef KIVO_HOST_MEDIA_IMAGE_FILE_H
#define KIVO_HOST_MEDIA_IMAGE_FILE_H

#include <string>

#include "host/core/rgba_image.h"

namespace kivo::media {

// An image as read: 8-bit RGBA, and the sample type the file stored
// ("uint8", "uint16", "half", "float", ...), which output files keep.
struct DecodedImage {
    host::RgbaImage image;
    std::string sampleType = "uint8";
};

// Reads the first subimage. Grey becomes R = G = B; other depths are scaled
// to 0..255; alpha is kept as stored (not premultiplied); an image without
// alpha is opaque. Throws FileError naming the file and the reason.
DecodedImage readImageFile(const std::string &path);

// Writes RGBA (or RGB where the format has no alpha, such as JPEG) in the
// given sample type where the format offers it, through a temporary file
// renamed over path once complete. Throws FileError.
void writeImageFile(const std::string &path, const host::RgbaImage &image, const std::string &sampleType = "uint8");

} // namespace kivo::media

#endif
