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
    for (int32_t grey = 0; grey < 256; ++grey) {
        int32_t red = grey, green = grey, blue = grey;
        if (sepia_) {
            red = grey > 195 ? 255 : grey + 60;
            green = grey > 225 ? 255 : grey + 30;
            blue = grey < 20 ? 0 : grey - 20;
        }
        targetRows_[0][grey] = tables.blend.towards(static_cast<uint8_t>(red));
        targetRows_[1][grey] = tables.blend.towards(static_cast<uint8_t>(green));
        targetRows_[2][grey] = tables.blend.towards(static_cast<uint8_t>(blue));
    }
}

