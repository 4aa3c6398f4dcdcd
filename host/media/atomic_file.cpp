#include "host/media/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::media {
namespace {

std::string systemReason() { return std::strerror(errno); }

std::string directoryOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// "dir/name.ext" -> {"dir/", "name", ".ext"}; a leading dot is no extension.
struct PathParts {
    std::string directory, stem, extension;
};

PathParts splitPath(const std::string &path) {
    const auto slash = path.rfind('/');
    PathParts parts;
    parts.directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        parts.stem = name;
    } else {
        parts.stem = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

// Flushes path to disk; errors name shownAs, the file the user asked for.
void syncPath(const std::string &path, int flags, const std::string &shownAs) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) throw FileError(shownAs, systemReason());
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some filesystems refuse fsync on dirs
    const std::string reason = systemReason();
    ::close(fd);
    if (!ok) throw FileError(shownAs, "cannot flush to disk: " + reason);
}

} // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    static std::atomic<unsigned> counter{0};
    const PathParts parts = splitPath(target_);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << parts.directory << '.' << parts.stem << ".tmp-" << ::getpid() << '-' << counter.fetch_add(1) << '-'
             << (entropy() % 100000) << parts.extension;
        const int fd = ::open(name.str().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            temporary_ = name.str();
            return;
        }
        if (errno != EEXIST) throw FileError(target_, "cannot write beside it: " + systemReason());
    }
    throw FileError(target_, "cannot find a free temporary name beside it");
}

AtomicFile::~AtomicFile() {
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::commit() {
    syncPath(temporary_, O_RDONLY, target_);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw FileError(target_, "cannot replace it: " + systemReason());
    committed_ = true;
    syncPath(directoryOf(target_), O_RDONLY | O_DIRECTORY, target_);
}

void writeFileAtomically(const std::string &path, std::string_view bytes) {
    AtomicFile file(path);
    {
        const int fd = ::open(file.temporaryPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) throw FileError(path, systemReason());
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const std::string reason = systemReason();
                ::close(fd);
                throw FileError(path, "cannot write: " + reason);
            }
            done += static_cast<size_t>(n);
        }
        if (::close(fd) != 0) throw FileError(path, "cannot write: " + systemReason());
    }
    file.commit();
}

std::string readWholeFile(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileError(path, "cannot open: " + systemReason());
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const std::string reason = systemReason();
            ::close(fd);
            throw FileError(path, "cannot read: " + reason);
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return contents;
}

} // namespace kivo::media
