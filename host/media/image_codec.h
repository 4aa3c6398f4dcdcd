// The image library's side of reading and writing image files. It lives in
// a shared library of its own that image_file.cpp loads on first use: the
// image library and the many libraries it depends on take about 100 MB and
// a tenth of a second or more to load, which a render of video files or
// raw streams need not pay.
#ifndef KIVO_HOST_MEDIA_IMAGE_CODEC_H
#define KIVO_HOST_MEDIA_IMAGE_CODEC_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/core/rgba_image.h"
#include "host/media/image_file.h"

namespace kivo::media {

// The library's file name, for the library path to find when it is not
// where it was built.
inline constexpr const char *kImageCodecLibrary = "libkivo_image_codec.so";

struct ImageCodec {
    // Decodes the image at path (from bytes, the whole file, when given) as
    // readImageFile describes; checkFrameMemory is called with the declared
    // size before anything is allocated. Throws FileError.
    void (*read)(const std::string &path, const std::string *bytes, DecodedImage &decoded,
                 void (*checkFrameMemory)(int64_t width, int64_t height, int64_t bytesPerPixel));
    // Encodes the image in the format path's extension names, as
    // writeImageFile describes. True: the file's bytes are in encoded.
    // False: the format writes files only by name; handOver() gave the
    // name it wrote. Throws FileError.
    bool (*write)(const std::string &path, const host::RgbaImage &image, const std::string &sampleType,
                  const std::vector<float> *deep, std::vector<unsigned char> &encoded,
                  const std::function<std::string()> &handOver);
};

} // namespace kivo::media

extern "C" const kivo::media::ImageCodec *kivoImageCodec();

#endif
