// The demo's generated pictures: a test sequence with colour bars, ramps
// and a moving ball, and the contact sheet that lays out rendered frames.
#ifndef KIVO_HOST_CLI_DEMO_FRAMES_H
#define KIVO_HOST_CLI_DEMO_FRAMES_H

#include <string>
#include <vector>

#include "host/core/rgba_image.h"

namespace kivo::cli {

// Frame index of count (0-based): colour bars, a grey ramp, a hue ramp, the
// frame number, and a ball crossing the picture as the index grows.
host::RgbaImage demoFrame(int index, int count, int width, int height, int frameNumber);

// tiles[row][column], all of one size, under column titles and beside row
// titles, on a dark ground.
host::RgbaImage contactSheet(const std::vector<std::vector<host::RgbaImage>> &tiles,
                             const std::vector<std::string> &rowTitles, const std::vector<std::string> &columnTitles);

} // namespace kivo::cli

#endif
