#include "process/film_frame.h"

FilmConstants prepareFilmFrame(int32_t width) {
    const int64_t w = width;
    FilmConstants constants{};
    constants.scratchBase[0] = w / 6;
    constants.scratchBase[1] = w / 6 + 8;
    constants.scratchBase[2] = w / 6 + 11;
    constants.scratchBase[3] = (w / 4) * 3;
    constants.scratchBase[4] = w - 8;
    constants.scratchBase[5] = w / 2;
    constants.widthSquared = static_cast<double>(w) * static_cast<double>(w);
    // Only pixels use the step, and a frame without columns has none.
    constants.vignetteStep = width > 0 ? 3.1416 / static_cast<double>(width) : 0.0;
    return constants;
}
