#include "process/film_pixel.h"

#include "instance/settings_table.h"

void prepareFilmPixels(FilmFrame &film, const MixerInstance &instance, const FrameValues &frame,
                       const FilmConstants &constants, BlendTable &blend, VignetteTable &vignette,
                       OutOfFocus &outOfFocus) {
    film.width = frame.width;
    film.height = frame.height;
    film.dusty = instance.filmQuality != FILM_NICE_N_CLEAN;
    film.whiteOut = instance.whiteOut != 0;
    film.sepia = instance.sepia != 0;
    film.vignette = instance.vignette != 0;
    // A displacement below the least (1) has no column step to the left: no smear.
    film.smear = instance.outOfFocus != 0 &&
                 instance.focalDisplacement >= settingOf(&MixerInstance::focalDisplacement).facts.minimum;
    film.focalDisplacement = instance.focalDisplacement;
    film.flickerValue = frame.flickerValue;
    film.flickers = frame.flickerValue % 3 == 0;
    for (int i = 0; i < kScratchCount; ++i)
        film.scratchColumn[i] = constants.scratchBase[i] + frame.scratchJitter[i];
    film.halfWidth = frame.width / 2;
    film.halfHeight = frame.height / 2;
    film.widthSquared = constants.widthSquared;
    film.vignetteStep = constants.vignetteStep;
    film.blend = &blend;
    film.vignetteTable = nullptr;
    if (film.vignette) {
        vignette.prepare(frame.width, frame.height, constants.vignetteStep);
        film.vignetteTable = &vignette;
    }
    film.outOfFocus = nullptr;
    if (film.smear) {
        outOfFocus.prepare(frame.width, film.focalDisplacement);
        film.outOfFocus = &outOfFocus;
    }
}

FilmRow beginFilmRow(const FilmFrame &film, int64_t y, const uint8_t *red, const uint8_t *green,
                     const uint8_t *blue, bool jumpFlag) {
    FilmRow row;
    row.red = red;
    row.green = green;
    row.blue = blue;
    row.y = y;
    if (film.smear) row.smearRow = film.outOfFocus->rowSlot(y);
    row.blackout = jumpFlag && y > static_cast<int64_t>(film.height) - 4;
    if (film.vignette) {
        row.centreY = y - film.halfHeight;
        // Only frames more than twice as tall as wide have rows beyond the width.
        row.vignetted = static_cast<double>(row.centreY * row.centreY) <= film.widthSquared;
        if (row.vignetted) row.vignetteAmounts = film.vignetteTable->row(row.centreY);
    }
    return row;
}
