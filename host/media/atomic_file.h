// Writing a file so that readers see either the old file or the complete new
// one: the data goes to a temporary file beside the target, is flushed to
// disk, and is renamed over the target only once it is whole.
#ifndef KIVO_HOST_MEDIA_ATOMIC_FILE_H
#define KIVO_HOST_MEDIA_ATOMIC_FILE_H

#include <stdexcept>
#include <string>
#include <string_view>

namespace kivo::media {

// A file that cannot be read or written: "path: reason".
class FileError : public std::runtime_error {
public:
    FileError(const std::string &path, const std::string &reason)
        : std::runtime_error(path + ": " + reason), path_(path), reason_(reason) {}
    const std::string &path() const { return path_; }
    const std::string &reason() const { return reason_; }

private:
    std::string path_, reason_;
};

class AtomicFile {
public:
    // Reserves a temporary name in the target's directory that keeps the
    // target's extension (image writers choose the format by it). Throws
    // FileError naming the target when the directory is not writable.
    explicit AtomicFile(std::string target);
    ~AtomicFile(); // removes the temporary file unless it was committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    const std::string &target() const { return target_; }
    const std::string &temporaryPath() const { return temporary_; }

    // Flushes the temporary file to disk and renames it over the target.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// Writes the bytes to path through an AtomicFile; throws FileError.
void writeFileAtomically(const std::string &path, std::string_view bytes);

// The whole file; throws FileError when it cannot be read.
std::string readWholeFile(const std::string &path);

} // namespace kivo::media

#endif
