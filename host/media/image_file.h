// Reading and writing single image files of any format OpenImageIO knows,
// converted to and from the 8-bit RGBA frames the module works on. Files of
// other depths are also kept at full precision, so that what the module
// leaves unchanged can be written back unchanged.
#ifndef KIVO_HOST_MEDIA_IMAGE_FILE_H
#define KIVO_HOST_MEDIA_IMAGE_FILE_H

#include <string>
#include <vector>

#include "host/core/rgba_image.h"

namespace kivo::media {

// An image as read: 8-bit RGBA, and the sample type the file stored
// ("uint8", "uint16", "half", "float", ...), which output files keep. For
// any sample type but uint8, deep holds the same pixels as RGBA floats at
// the file's precision (0..1 for integer types; float files may hold any
// value); it is empty for uint8.
struct DecodedImage {
    host::RgbaImage image;
    std::string sampleType = "uint8";
    std::vector<float> deep;
};

// Reads the first subimage. Grey becomes R = G = B; other depths are scaled
// to 0..255; alpha is kept as stored (not premultiplied); an image without
// alpha is opaque. The image's size is checked against the frame memory
// budget before anything is allocated. Throws FileError naming the file and
// the reason.
DecodedImage readImageFile(const std::string &path);
// The same into decoded, reusing its buffers where they have room.
void readImageFile(const std::string &path, DecodedImage &decoded);

// Writes RGBA (or RGB where the format has no alpha, such as JPEG, or where
// alpha is opaque everywhere) in the given sample type where the format
// offers it, through a temporary file renamed over path once complete.
// When deep is given (width * height * 4 floats) the file is written from it
// instead of from image. PNGs hold 16 bits a sample for "uint16" and 8 for
// any other type, compressed at pngCompression (0 to 9, see encodePng). The
// default is the lowest level whose files are no larger than ffmpeg's
// default PNGs of the same frames, grainy or not. Throws FileError.
inline constexpr int kDefaultPngCompression = 4;
void writeImageFile(const std::string &path, const host::RgbaImage &image, const std::string &sampleType = "uint8",
                    const std::vector<float> *deep = nullptr, int pngCompression = kDefaultPngCompression);

} // namespace kivo::media

#endif
