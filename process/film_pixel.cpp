#include "process/film_pixel.h"

#include "instance/settings_table.h"

FilmValue::FilmValue(const MixerInstance &instance, const FrameState &frame)
    : dusty(instance.filmQuality != FILM_NICE_N_CLEAN), whiteOut(instance.whiteOut != 0),
      flickers(frame.flickerValue % 3 == 0), flickerValue(frame.flickerValue) {}

FilmFrame::FilmFrame(const MixerInstance &instance, const FrameState &frame, FrameTables &tables)
    : value(instance, frame), sepia(instance.sepia != 0), vignette(instance.vignette != 0),
      // A displacement below the least (1) has no column step to the left: no smear.
      smear(instance.outOfFocus != 0 &&
            instance.focalDisplacement >= settingOf(&MixerInstance::focalDisplacement).facts.minimum),
      displacement(instance.focalDisplacement), halfWidth(frame.width / 2), halfHeight(frame.height / 2) {
    for (int i = 0; i < kScratchCount; ++i) scratchColumn[i] = frame.scratchBase[i] + frame.scratchJitter[i];
    if (vignette) tables.vignette.prepare(frame.width, frame.height, frame.vignetteStep);
    if (smear) tables.outOfFocus.prepare(frame.width, displacement);
    for (int32_t grey = 0; grey < 256; ++grey) {
        int32_t red = grey, green = grey, blue = grey;
        if (sepia) {
            red = grey > 195 ? 255 : grey + 60;
            green = grey > 225 ? 255 : grey + 30;
            blue = grey < 20 ? 0 : grey - 20;
        }
        targetRows[0][grey] = tables.blend.towards(static_cast<uint8_t>(red));
        targetRows[1][grey] = tables.blend.towards(static_cast<uint8_t>(green));
        targetRows[2][grey] = tables.blend.towards(static_cast<uint8_t>(blue));
    }
}

FilmRule::FilmRule(const MixerInstance &instance, const FrameState &frame, FrameTables &tables)
    : frame_(frame), tables_(tables), film_(instance, frame, tables) {}
