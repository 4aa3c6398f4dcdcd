// The settings of one filter instance and its handler callbacks.
#ifndef KIVO_INSTANCE_MIXER_INSTANCE_H
#define KIVO_INSTANCE_MIXER_INSTANCE_H

#include <cstdint>

extern "C" {

// Eighteen signed 32-bit settings, in the host-visible memory order.
typedef struct MixerInstance {
    int32_t grainWidth;
    int32_t grainHeight;
    int32_t fadeAxis;
    int32_t controlItem;
    int32_t fadeDivisor;
    int32_t fadeChannel;
    int32_t allowNegatives;
    int32_t mixRed;
    int32_t mixGreen;
    int32_t mixBlue;
    int32_t effect;
    int32_t filmQuality;
    int32_t sprocketJump;
    int32_t whiteOut;
    int32_t sepia;
    int32_t vignette;
    int32_t outOfFocus;
    int32_t focalDisplacement;
} MixerInstance;

void *createInstance(void *hostData);
void destroyInstance(void *instance);
int32_t copyInstance(void *source, void *destination);
int32_t instanceFlags(void *instance);
const char *describeInstance(void *instance);
}

enum MixerEffect : int32_t { EFFECT_STATIC = 0, EFFECT_RGB = 1, EFFECT_FILM = 2, EFFECT_NEGATIVE = 3 };
enum FadeChannel : int32_t { FADE_SCALE = 0, FADE_COORDS = 1 };
enum FadeAxis : int32_t { AXIS_X = 0, AXIS_Y = 1, AXIS_Z = 2 };
enum FilmQuality : int32_t { FILM_NICE_N_CLEAN = 0, FILM_OLD_N_DUSTY = 1 };

static_assert(sizeof(MixerInstance) == 18 * sizeof(int32_t), "eighteen packed settings");

#endif
