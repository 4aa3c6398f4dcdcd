// The plug-in's frei0r parameters, in the order hosts list them, and how
// their values map onto the module's settings and frame numbers.
#ifndef KIVO_FREI0R_PARAM_TABLE_H
#define KIVO_FREI0R_PARAM_TABLE_H

#include <cstdint>

#include "frei0r/setting_facts.h"

namespace kivo::frei0r {

enum class ParamKind { Look, Fade, Fps, TimeUnit, Number, Switch, Colour };

struct Param {
    const char *name;
    const char *explanation;
    int type; // F0R_PARAM_*
    ParamKind kind;
    const SettingMapping *settings[3]; // Number and Switch: [0]; Colour: red, green, blue
};

inline constexpr int kParamCount = 14;
const Param &paramAt(int index);

// A normalised frei0r value 0..1 as the setting's integer: low + round(v ×
// (high − low)), clamped to the span; NaN gives the low end.
int32_t settingOfNormalised(double value, const SettingMapping &facts);
// The setting back as a normalised value (outside 0..1 when the setting is).
double normalisedOfSetting(int32_t setting, const SettingMapping &facts);

// A frei0r colour component 0..1 as 0..255, rounded and clamped.
int32_t channelOfColour(float value);

// The module's frame number for a host time: round(time × unit × fps), with
// unit the length of the host's time unit in seconds; clamped to 32 bits,
// 0 for NaN.
int32_t frameNumberOf(double time, double unitSeconds, double fps);

// The time unit of the process hosting the plug-in, in seconds: 0.001 inside
// ffmpeg's frei0r filter, which passes milliseconds; 1 elsewhere (MLT,
// GStreamer and the frei0r convention pass seconds).
double detectedTimeUnit();

} // namespace kivo::frei0r

#endif
