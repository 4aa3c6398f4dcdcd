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

// The colour matrix of a frame: the one it is tagged with, or the usual one
// for its height when it says nothing.
int swsColourspace(AVColorSpace tagged, int height) {
    switch (tagged) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

std::string fileNameOf(const std::string &path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace kivo::media
