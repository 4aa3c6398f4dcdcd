#include "host/media/raw_stream.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <algorithm>
#include <cmath>

#include <unistd.h>

#include "host/media/atomic_file.h"

namespace kivo::media {

RawFrameReader::RawFrameReader(int fd, int32_t width, int32_t height, std::string name)
    : fd_(fd), width_(width), height_(height), name_(std::move(name)) {}

bool RawFrameReader::read(host::RgbaImage &image, const std::string &frameLabel) {
    if (image.width != width_ || image.height != height_) image = host::RgbaImage(width_, height_);
    const size_t size = image.pixels.size();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd_, image.pixels.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(name_, "cannot read " + frameLabel + ": " + std::strerror(errno));
        if (n == 0) {
            if (done == 0) return false;
            throw FileError(name_, "the stream ended inside " + frameLabel + " (" + std::to_string(done) + " of " +
                                       std::to_string(size) + " bytes of a " + std::to_string(width_) + "x" +
                                       std::to_string(height_) + " RGBA frame)");
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

RawFrameWriter::RawFrameWriter(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

void RawFrameWriter::write(const host::RgbaImage &image) {
    const size_t size = image.pixels.size();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, image.pixels.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EPIPE) throw FileError(name_, "the reader closed the stream");
        if (n <= 0)
            throw FileError(name_, std::string("cannot write: ") + (n < 0 ? std::strerror(errno) : "no progress"));
        done += static_cast<size_t>(n);
    }
}

void parseFrameSize(const std::string &text, int32_t &width, int32_t &height) {
    const auto x = text.find_first_of("xX");
    auto number = [&](const std::string &part) {
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("bad frame size \"" + text + "\"; expected WIDTHxHEIGHT such as 1920x1080");
        const int value = part.size() > 5 ? 0 : std::stoi(part);
        if (value < 1 || value > 65535)
            throw std::invalid_argument("bad frame size \"" + text + "\"; each side must be 1 to 65535");
        return value;
    };
    if (x == std::string::npos)
        throw std::invalid_argument("bad frame size \"" + text + "\"; expected WIDTHxHEIGHT such as 1920x1080");
    width = number(text.substr(0, x));
    height = number(text.substr(x + 1));
    if (static_cast<int64_t>(width) * height > kMaxFramePixels)
        throw std::invalid_argument("frame size \"" + text + "\" is too large (at most " +
                                    std::to_string(kMaxFramePixels) + " pixels)");
    checkFrameMemory(width, height, 4);
}

int64_t frameMemoryBudget() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    const int64_t cap = int64_t{8} << 30;
    if (pages <= 0 || pageSize <= 0) return cap;
    return std::min<int64_t>(cap, int64_t{pages} * pageSize / 2);
}

void checkFrameMemory(int64_t width, int64_t height, int64_t bytesPerPixel) {
    // In double: the sides of an image file's header may be up to 2^31 each.
    const double need = double(width) * double(height) * double(bytesPerPixel) * double(kFramesHeldAtOnce);
    const int64_t budget = frameMemoryBudget();
    if (need <= double(budget)) return;
    const auto mib = [](double bytes) { return std::to_string(int64_t(std::ceil(bytes / (1 << 20)))) + " MiB"; };
    throw std::invalid_argument(std::to_string(width) + "x" + std::to_string(height) + " frames would take " +
                                mib(need) + " (" + std::to_string(kFramesHeldAtOnce) +
                                " frames held at once), more than the " + mib(budget) +
                                " a render may use (half of this machine's memory, at most 8 GiB)");
}

} // namespace kivo::media
