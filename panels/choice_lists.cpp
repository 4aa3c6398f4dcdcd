#include "panels/choice_lists.h"

const char *const kFadeChannelItems[] = {"Scale", "Co-ords", nullptr};
const char *const kFadeAxisItems[] = {" X ", " Y ", " Z ", nullptr};
const char *const kYesNoItems[] = {" No ", " Yes ", nullptr};
const char *const kEffectItems[] = {" Static ", "   RGB   ", "B&W Film", " Negative ", nullptr};
const char *const kFilmQualityItems[] = {" Nice'n'Clean ", " Old'n'Dusty ", nullptr};
