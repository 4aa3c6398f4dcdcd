#include "host/media/av_handles.h"

#include "host/media/atomic_file.h"

namespace kivo::media {

void quietLibraries() {
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
}

InputPtr openInput(const std::string &path) {
    quietLibraries();
    AVFormatContext *raw = nullptr;
    int status = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (status < 0) {
        if (status == AVERROR(ENOENT) || status == AVERROR(EACCES)) throw FileError(path, avReason(status));
        throw FileError(path, "cannot be read as a video or an image (" + avReason(status) + ")");
    }
    InputPtr input(raw);
    status = avformat_find_stream_info(raw, nullptr);
    if (status < 0) throw FileError(path, "cannot read its streams: " + avReason(status));
    return input;
}

std::string fileNameOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace kivo::media
