#include "process/film_pixel.h"

#include "instance/settings_table.h"

FilmRule::FilmRule(const MixerInstance &instance, const FrameState &frame, FrameTables &tables)
    : frame_(frame), tables_(tables) {
    dusty_ = instance.filmQuality != FILM_NICE_N_CLEAN;
    whiteOut_ = instance.whiteOut != 0;
    sepia_ = instance.sepia != 0;
    vignette_ = instance.vignette != 0;
    // A displacement below the least (1) has no column step to the left: no smear.
    smear_ = instance.outOfFocus != 0 &&
             instance.focalDisplacement >= settingOf(&MixerInstance::focalDisplacement).facts.minimum;
    flickers_ = frame.flickerValue % 3 == 0;
    for (int i = 0; i < kScratchCount; ++i) scratchColumn_[i] = frame.scratchBase[i] + frame.scratchJitter[i];
    halfWidth_ = frame.width / 2;
    halfHeight_ = frame.height / 2;
    if (vignette_) tables.vignette.prepare(frame.width, frame.height, frame.vignetteStep);
    if (smear_) tables.outOfFocus.prepare(frame.width, instance.focalDisplacement);
}

void FilmRule::beginRow(int64_t y, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
    FilmRow row;
    row.red = red;
    row.green = green;
    row.blue = blue;
    row.y = y;
    if (smear_) row.smearRow = tables_.outOfFocus.rowSlot(y);
    row.blackout = frame_.jumpFlag && y > static_cast<int64_t>(frame_.height) - 4;
    if (vignette_) {
        row.centreY = y - halfHeight_;
        // Only frames more than twice as tall as wide have rows beyond the width.
        row.vignetted = static_cast<double>(row.centreY * row.centreY) <= frame_.widthSquared;
        if (row.vignetted) row.vignetteAmounts = tables_.vignette.row(row.centreY);
    }
    row_ = row;
}
