// Raw video frames on a file descriptor: width * height pixels of four
// bytes, red, green, blue, alpha, rows top to bottom, frames back to back
// (what ffmpeg reads and writes with -f rawvideo -pix_fmt rgba).
#ifndef KIVO_HOST_MEDIA_RAW_STREAM_H
#define KIVO_HOST_MEDIA_RAW_STREAM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/core/rgba_image.h"

namespace kivo::media {

class RawFrameReader {
public:
    // name is what errors call the stream ("standard input").
    RawFrameReader(int fd, int32_t width, int32_t height, std::string name);

    // Reads the next frame into image (resized to the frame size). False
    // when the stream ends cleanly between frames; throws FileError when it
    // ends inside a frame or cannot be read. frameLabel names the frame in
    // that error.
    bool read(host::RgbaImage &image, const std::string &frameLabel);

private:
    int fd_;
    int32_t width_, height_;
    std::string name_;
};

class RawFrameWriter {
public:
    RawFrameWriter(int fd, std::string name);

    // Writes the whole frame; throws FileError when the stream is closed
    // or cannot be written.
    void write(const host::RgbaImage &image);

private:
    int fd_;
    std::string name_;
};

// The largest frame the host handles, in pixels (a gigabyte of RGBA).
inline constexpr int64_t kMaxFramePixels = int64_t{1} << 28;

// Frames a render holds at once at most: read ahead, being filtered (with
// the filter's scratch frame), waiting for a writer and being written.
inline constexpr int64_t kFramesHeldAtOnce = 10;

// The memory the frames of a render may take together: half of this
// machine's memory, at most 8 GiB.
int64_t frameMemoryBudget();

// Throws std::invalid_argument, saying the limit, when kFramesHeldAtOnce
// frames of width x height at bytesPerPixel would not fit frameMemoryBudget().
void checkFrameMemory(int64_t width, int64_t height, int64_t bytesPerPixel);

// Parses "WxH" (both 1 to 65535, at most kMaxFramePixels, RGBA frames
// within the memory budget); throws
// std::invalid_argument otherwise.
void parseFrameSize(const std::string &text, int32_t &width, int32_t &height);

} // namespace kivo::media

#endif
