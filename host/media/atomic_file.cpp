#include "host/media/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo::media {
namespace {

std::string systemReason(int error) { return std::strerror(error); }
std::string systemReason() { return systemReason(errno); }

// The write calls go through here so that tests can make any one of them fail.
std::atomic<long> faultCall{0}, faultError{0}, callsMade{0};

bool injectedFault() {
    const long call = ++callsMade;
    if (faultCall.load() != 0 && call == faultCall.load()) {
        errno = static_cast<int>(faultError.load());
        return true;
    }
    return false;
}

ssize_t checkedWrite(int fd, const void *data, size_t size) {
    if (injectedFault()) return -1;
    return ::write(fd, data, size);
}

ssize_t checkedPwrite(int fd, const void *data, size_t size, off_t offset) {
    if (injectedFault()) return -1;
    return ::pwrite(fd, data, size, offset);
}

int checkedFsync(int fd) {
    if (injectedFault()) return -1;
    return ::fsync(fd);
}

// The descriptor is closed even when the call reports a failure.
int checkedClose(int fd) {
    if (injectedFault()) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return ::close(fd);
}

int checkedRename(const char *from, const char *to) {
    if (injectedFault()) return -1;
    return ::rename(from, to);
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

// Flushes and closes fd (the file, or its directory); errors name shownAs,
// the file the user asked for.
void syncAndClose(int fd, const std::string &shownAs, const char *flushed = "") {
    const bool synced = checkedFsync(fd) == 0 || errno == EINVAL; // some filesystems refuse fsync on dirs
    const int syncError = errno;
    const bool closed = checkedClose(fd) == 0;
    const int closeError = errno;
    if (!synced) throw FileError(shownAs, std::string("cannot flush ") + flushed + "to disk: " + systemReason(syncError));
    if (!closed) throw FileError(shownAs, "cannot write: " + systemReason(closeError));
}

// The process id in a temporary file name ".STEM.tmp-PID-N-R.EXT" (EXT
// without a dot, or no extension at all); 0 for any other name.
long temporaryOwner(const std::string &name) {
    const auto marker = name.rfind(".tmp-");
    if (name.empty() || name[0] != '.' || marker == 0 || marker == std::string::npos) return 0;
    size_t at = marker + 5;
    long numbers[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const size_t start = at;
        while (at < name.size() && at - start < 10 && name[at] >= '0' && name[at] <= '9')
            numbers[i] = numbers[i] * 10 + (name[at++] - '0');
        if (at == start || (i < 2 && (at == name.size() || name[at++] != '-'))) return 0;
    }
    if (at < name.size() && (name[at] != '.' || name.find('.', at + 1) != std::string::npos)) return 0;
    return numbers[0];
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
            fd_ = fd;
            temporary_ = name.str();
            return;
        }
        if (errno != EEXIST) throw FileError(target_, "cannot write beside it: " + systemReason());
    }
    throw FileError(target_, "cannot find a free temporary name beside it");
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::write(std::string_view bytes) {
    if (fd_ < 0) throw FileError(target_, "cannot write: the file was handed over");
    if (positioned_) { // the descriptor's own offset was left behind
        writeAt(written_, bytes);
        return;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = checkedWrite(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw FileError(target_, "cannot write: " + (n < 0 ? systemReason() : std::string("no progress")));
        done += static_cast<size_t>(n);
    }
    written_ += done;
}

void AtomicFile::writeAt(uint64_t offset, std::string_view bytes) {
    if (fd_ < 0) throw FileError(target_, "cannot write: the file was handed over");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            checkedPwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw FileError(target_, "cannot write: " + (n < 0 ? systemReason() : std::string("no progress")));
        done += static_cast<size_t>(n);
    }
    written_ = std::max<uint64_t>(written_, offset + done);
    positioned_ = true;
}

void AtomicFile::handOver() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (checkedClose(fd) != 0) throw FileError(target_, "cannot write: " + systemReason());
}

void AtomicFile::commit() {
    const bool handedOver = fd_ < 0;
    const int fd = handedOver ? ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC) : fd_;
    fd_ = -1;
    if (fd < 0) throw FileError(target_, "cannot write: " + systemReason());
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const std::string reason = systemReason();
        ::close(fd);
        throw FileError(target_, "cannot write: " + reason);
    }
    const auto size = static_cast<size_t>(status.st_size);
    if (handedOver ? size == 0 : size != written_) {
        ::close(fd);
        throw FileError(target_, "cannot write: the file holds " + std::to_string(size) + " of " +
                                     std::to_string(written_) + " bytes");
    }
    syncAndClose(fd, target_);
    if (checkedRename(temporary_.c_str(), target_.c_str()) != 0)
        throw FileError(target_, "cannot replace it: " + systemReason());
    committed_ = true;
    // The file is complete under its name; the directory entry must reach
    // the disk too before the file counts as written.
    const int directory = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) throw FileError(target_, "cannot flush its directory to disk: " + systemReason());
    syncAndClose(directory, target_, "its directory ");
}

void writeFileAtomically(const std::string &path, std::string_view bytes) {
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

std::string readWholeFile(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileError(path, "cannot open: " + systemReason());
    std::string contents;
    struct stat status;
    if (::fstat(fd, &status) == 0 && status.st_size > 0) contents.reserve(static_cast<size_t>(status.st_size));
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

size_t removeStaleTemporaries(const std::string &directory) {
    size_t removed = 0;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    if (error) return 0;
    for (const auto &entry : entries) {
        const std::string name = entry.path().filename().string();
        const long pid = temporaryOwner(name);
        if (pid == 0 || !entry.is_regular_file(error)) continue;
        // Only a process that is gone: a running one (or one we may not
        // signal) may still be writing it.
        if (pid <= 0 || pid > 2147483647 || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        if (::unlink(entry.path().c_str()) == 0) ++removed;
    }
    return removed;
}

std::string directoryOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void prepareOutputDirectory(const std::string &directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw FileError(directory, "cannot create the output directory: " + error.message());
    removeStaleTemporaries(directory);
}

long armFileFault(long call, int error) {
    const long made = callsMade.exchange(0);
    faultError = error;
    faultCall = call;
    return made;
}

} // namespace kivo::media
