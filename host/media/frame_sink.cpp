#include "host/media/frame_sink.h"

#include <filesystem>
#include <map>
#include <optional>

#include <sys/stat.h>

#include "host/media/atomic_file.h"
#include "host/media/image_file.h"

namespace kivo::media {

SequenceSink::SequenceSink(FramePattern pattern, int pngCompression)
    : pattern_(std::move(pattern)), pngCompression_(pngCompression) {
    prepareOutputDirectory(pattern_.directory());
}

void SequenceSink::write(const Frame &frame) {
    const std::string path = pattern_.pathOf(frame.number);
    try {
        writeImageFile(path, frame.image, frame.sampleType, frame.deep.empty() ? nullptr : &frame.deep,
                       pngCompression_);
    } catch (const std::bad_alloc &) {
        throw FileError(path, "not enough memory to write it");
    }
}

ImageSink::ImageSink(std::string path, int pngCompression)
    : path_(std::move(path)), pngCompression_(pngCompression) {
    prepareOutputDirectory(directoryOf(path_));
}

void ImageSink::write(const Frame &frame) {
    if (frame_)
        throw FileError(path_, "one image holds one frame, and frame " + std::to_string(frame.number) +
                                   " comes after frame " + std::to_string(frame_->number) +
                                   "; choose one with --frames N, or write a sequence such as " +
                                   sequencePatternsLike(path_));
    frame_ = frame;
}

void ImageSink::finish() {
    if (!frame_) throw FileError(path_, "no frame to write");
    writeImageFile(path_, frame_->image, frame_->sampleType, frame_->deep.empty() ? nullptr : &frame_->deep,
                   pngCompression_);
}

namespace {
// One spelling per file: absolute, with ".." and symbolic links resolved as
// far as the path exists.
std::string sameFileKey(const std::string &path) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return error ? path : canonical.string();
}

// Device and inode of an existing file, which also catch hard links.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const std::string &path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return std::make_pair(status.st_dev, status.st_ino);
}
} // namespace

void checkOutputSparesInput(const FramePattern &input, const std::vector<int32_t> &inputFrames,
                            const FramePattern &output, const std::vector<int32_t> &outputFrames) {
    std::map<std::string, int32_t> byName;
    std::map<std::pair<dev_t, ino_t>, int32_t> byIdentity;
    for (int32_t frame : inputFrames) {
        const std::string path = input.pathOf(frame);
        byName.emplace(sameFileKey(path), frame);
        if (auto identity = fileIdentity(path)) byIdentity.emplace(*identity, frame);
    }
    for (int32_t frame : outputFrames) {
        const std::string path = output.pathOf(frame);
        std::optional<int32_t> overwritten;
        if (auto same = byName.find(sameFileKey(path)); same != byName.end())
            overwritten = same->second;
        else if (auto identity = fileIdentity(path))
            if (auto same = byIdentity.find(*identity); same != byIdentity.end()) overwritten = same->second;
        if (overwritten)
            throw FileError(path, "output frame " + std::to_string(frame) + " would overwrite input frame " +
                                      std::to_string(*overwritten) + "; choose another output");
    }
}

} // namespace kivo::media
