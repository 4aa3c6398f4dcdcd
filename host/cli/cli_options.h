// Option values shared by several vidmixer commands.
#ifndef KIVO_HOST_CLI_CLI_OPTIONS_H
#define KIVO_HOST_CLI_CLI_OPTIONS_H

#include <cstddef>
#include <string>

#include "host/media/frame_source.h"

namespace kivo::cli {

// "A-B" (either may be negative: "-5--1") or a single frame "N"; throws
// std::invalid_argument unless first <= last.
media::FrameRange parseFrameRange(const std::string &text);

// A frame number: a decimal from -2147483648 to 2147483647; throws
// std::invalid_argument saying so otherwise.
int32_t parseFrameNumber(const std::string &text, const std::string &option);

// A count of 1 to most written in decimal; throws std::invalid_argument
// saying the limit otherwise ("--writers must be 1 to 64").
size_t parseWriterCount(const std::string &text, size_t most);

// The module beside the vidmixer executable; throws std::runtime_error
// when there is none.
std::string defaultModulePath();

// The module to use: the given one, or the default.
std::string modulePathOr(const std::string &given);

} // namespace kivo::cli

#endif
