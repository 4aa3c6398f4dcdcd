// Option values shared by several vidmixer commands.
#ifndef KIVO_HOST_CLI_CLI_OPTIONS_H
#define KIVO_HOST_CLI_CLI_OPTIONS_H

#include <string>

#include "host/media/frame_source.h"

namespace kivo::cli {

// "A-B" (either may be negative: "-5--1") or a single frame "N"; throws
// std::invalid_argument unless first <= last.
media::FrameRange parseFrameRange(const std::string &text);

// The module beside the vidmixer executable; throws std::runtime_error
// when there is none.
std::string defaultModulePath();

// The module to use: the given one, or the default.
std::string modulePathOr(const std::string &given);

} // namespace kivo::cli

#endif
