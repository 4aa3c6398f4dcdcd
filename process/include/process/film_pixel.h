// The "B&W Film" look: a grey film value from the pixel's luminance and the
// block's grain, aged and tinted by the film options, then blended with the
// rendered colour by the frame's fade amount.
#ifndef KIVO_PROCESS_FILM_PIXEL_H
#define KIVO_PROCESS_FILM_PIXEL_H

#include <cstdint>

#include "instance/mixer_instance.h"
#include "process/blend_table.h"
#include "process/film_frame.h"
#include "process/frame_values.h"
#include "process/luminance.h"
#include "process/mix_channel.h"
#include "process/out_of_focus.h"
#include "process/random_generator.h"
#include "process/vignette_table.h"

// Everything the film rule reads that stays fixed for one frame.
struct FilmFrame {
    int32_t width = 0;
    int32_t height = 0;
    bool dusty = false; // " Old'n'Dusty ": dust flashes, flicker, scratch lines
    bool whiteOut = false;
    bool sepia = false;
    bool vignette = false;
    bool smear = false; // out of focus with a displacement of at least 1
    int64_t focalDisplacement = 1;
    uint16_t flickerValue = 0;
    bool flickers = false; // flickerValue divisible by 3
    int64_t scratchColumn[kScratchCount] = {};
    int64_t halfWidth = 0;
    int64_t halfHeight = 0;
    double widthSquared = 0.0;
    double vignetteStep = 0.0;
    BlendTable *blend = nullptr;
    const VignetteTable *vignetteTable = nullptr;
    OutOfFocus *outOfFocus = nullptr;
};

// Prepares the vignette table and the smear when the frame uses them; blend
// must have been reset to the frame's fade amount.
void prepareFilmPixels(FilmFrame &film, const MixerInstance &instance, const FrameValues &frame,
                       const FilmConstants &constants, BlendTable &blend, VignetteTable &vignette,
                       OutOfFocus &outOfFocus);

// What the film rule reads that stays fixed for one visit of a source row.
struct FilmRow {
    const uint8_t *red = nullptr;
    const uint8_t *green = nullptr;
    const uint8_t *blue = nullptr;
    int64_t y = 0;
    bool blackout = false;  // a jumped frame's last three rows
    bool vignetted = false; // the vignette darkens this row
    int64_t centreY = 0;    // y - H/2
    const double *vignetteAmounts = nullptr; // by |x - W/2|; null: computed per pixel
    SmearRow *smearRow = nullptr;            // null: smeared sample by sample
};

FilmRow beginFilmRow(const FilmFrame &film, int64_t y, const uint8_t *red, const uint8_t *green,
                     const uint8_t *blue, bool jumpFlag);

inline bool onScratchColumn(const FilmFrame &film, int64_t x) {
    bool hit = false;
    for (int i = 0; i < kScratchCount; ++i) hit |= film.scratchColumn[i] == x;
    return hit;
}

// Fills colourOut for column x of the row. Draws one scratchRoll when the
// frame is dusty and x lies on a scratch column.
inline void filmPixel(const FilmFrame &film, const FilmRow &row, int64_t x, BlockValues block,
                      uint8_t colourOut[3]) {
    const uint8_t red = row.red[x];
    const uint8_t green = row.green[x];
    const uint8_t blue = row.blue[x];

    // The film value wraps modulo 65536 and compares unsigned.
    uint16_t v = static_cast<uint16_t>(block.grainValue + pixelLuminance(red, green, blue));
    if (film.whiteOut) v = static_cast<uint16_t>(v + v);
    if (film.dusty) {
        if (block.dustRoll == 152) v = static_cast<uint16_t>(mixChannel(v, 2 * film.flickerValue, 0.5));
        if (film.flickers)
            v = static_cast<uint16_t>(film.whiteOut ? v - film.flickerValue : v + film.flickerValue);
        if (onScratchColumn(film, x) && halveWhileAbove(nextRandom(), 6) != 3)
            v = static_cast<uint16_t>(mixChannel(v, 16, 0.9));
    }
    if (row.blackout) v = 0;
    if (v > 255) v = static_cast<uint16_t>(255 - block.grainValue);

    uint8_t grey = static_cast<uint8_t>(v);
    if (film.smear) grey = film.outOfFocus->smear(grey, row.smearRow, row.y, row.red, row.green, row.blue, x);
    if (row.vignetted) {
        const int64_t centreX = x - film.halfWidth;
        const double amount = row.vignetteAmounts != nullptr
                                  ? row.vignetteAmounts[centreX < 0 ? -centreX : centreX]
                                  : vignetteAmount(centreX, row.centreY, film.vignetteStep);
        grey = static_cast<uint8_t>(mixChannel(grey, 16, amount));
    }

    uint8_t redTarget = grey;
    uint8_t greenTarget = grey;
    uint8_t blueTarget = grey;
    if (film.sepia) {
        redTarget = static_cast<uint8_t>(grey > 195 ? 255 : grey + 60);
        greenTarget = static_cast<uint8_t>(grey > 225 ? 255 : grey + 30);
        blueTarget = static_cast<uint8_t>(grey < 20 ? 0 : grey - 20);
    }
    colourOut[0] = film.blend->blend(red, redTarget);
    colourOut[1] = film.blend->blend(green, greenTarget);
    colourOut[2] = film.blend->blend(blue, blueTarget);
}

#endif
