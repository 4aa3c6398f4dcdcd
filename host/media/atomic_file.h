// Writing a file so that readers see either the old file or the complete new
// one: the data goes to a temporary file beside the target, is checked to be
// all there, flushed to disk and closed without error, and only then renamed
// over the target.
#ifndef KIVO_HOST_MEDIA_ATOMIC_FILE_H
#define KIVO_HOST_MEDIA_ATOMIC_FILE_H

#include <cstddef>
#include <cstdint>
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
    // Creates a temporary file in the target's directory that keeps the
    // target's extension (image writers choose the format by it), named
    // ".STEM.tmp-PID-N-R.EXT". Throws FileError naming the target when the
    // directory is not writable.
    explicit AtomicFile(std::string target);
    ~AtomicFile(); // removes the temporary file unless it was committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    const std::string &target() const { return target_; }
    const std::string &temporaryPath() const { return temporary_; }

    // Appends the bytes to the temporary file; throws FileError.
    void write(std::string_view bytes);

    // Writes the bytes at the offset, for writers that go back to fill in
    // what they learn later (video containers); the file is as long as the
    // furthest byte written. Throws FileError.
    void writeAt(uint64_t offset, std::string_view bytes);
    uint64_t size() const { return written_; }

    // Closes the temporary file so that another writer can fill it by its
    // name; commit() then checks it is not empty instead of its size.
    void handOver();

    // Checks that every byte reached the file, flushes it to disk, closes
    // it, renames it over the target and flushes the directory. Throws
    // FileError naming the target; the target is replaced only when every
    // step before the rename succeeded.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    uint64_t written_ = 0;
    bool positioned_ = false;
    bool committed_ = false;
};

// Writes the bytes to path through an AtomicFile; throws FileError.
void writeFileAtomically(const std::string &path, std::string_view bytes);

// The whole file; throws FileError when it cannot be read.
std::string readWholeFile(const std::string &path);

// Removes the temporary files of AtomicFile left in directory by processes
// that no longer run (killed in the middle of a write). Files of running
// processes, and every other file, are left alone. Returns how many it removed.
size_t removeStaleTemporaries(const std::string &directory);

// Creates the directory where it is missing, and removes the temporary
// files that killed runs left in it; throws FileError naming the directory.
void prepareOutputDirectory(const std::string &directory);

// The directory of a path: "." when it names none.
std::string directoryOf(const std::string &path);

// Fault injection for tests: from now on, the call-th call (counting from 1)
// of write, fsync, close or rename made while writing files fails with
// error instead of running; call 0 injects nothing. Returns the number of
// such calls made since the previous arming.
long armFileFault(long call, int error);

} // namespace kivo::media

#endif
