// The item lists of the panels' choice controls, null-terminated. The spaces
// inside the texts are part of them.
#ifndef KIVO_PANELS_CHOICE_LISTS_H
#define KIVO_PANELS_CHOICE_LISTS_H

extern const char *const kFadeChannelItems[]; // by FadeChannel
extern const char *const kFadeAxisItems[];    // by FadeAxis
extern const char *const kYesNoItems[];       // 0 no, 1 yes
extern const char *const kEffectItems[];      // by MixerEffect
extern const char *const kFilmQualityItems[]; // by FilmQuality

#endif
