// The plug-in's frei0r parameters, in the order hosts list them, derived
// from the module's settings table: the plug-in's own four (look, fade, fps,
// time unit), then every setting a user sets, a group as one parameter. Each
// parameter's kind converts between its frei0r value and what the plug-in
// holds; the fade control settings are the plug-in's own.
#ifndef KIVO_FREI0R_PARAM_TABLE_H
#define KIVO_FREI0R_PARAM_TABLE_H

#include <cstdint>

#include "host/core/settings_codec.h"
#include "instance/setting_facts.h"

namespace kivo::frei0r {

enum class ParamKind { Look, Fade, Fps, TimeUnit, Number, Switch, Colour };

// A setting and the span a normalised frei0r value maps onto.
struct SettingSpan {
    const SettingFacts *facts;
    int32_t low, high;
};

// What one plug-in instance's parameters hold: the module's settings in
// stored order and the plug-in's own values.
struct ParamValues {
    host::StoredSettings settings{};
    double fade = 0.0;
    double fps = 0.0;
    double timeUnit = 0.0; // 0: the host's own
};

struct Param {
    const char *name;
    const char *explanation;
    ParamKind kind;
    double ParamValues::*own = nullptr;  // Fade, Fps, TimeUnit: the plug-in's own value
    double defaultValue = 0.0;           // of the plug-in's own value; a setting's default is its facts'
    SettingSpan settings[3] = {};        // Look, Number, Switch: [0]; Colour: the group's members in order
    const SettingGroup *group = nullptr; // Colour: the group it stands for
};

// The parameters, from index 0.
int paramCount();
const Param &paramAt(int index);

// The parameter's frei0r type, F0R_PARAM_*.
int paramType(ParamKind kind);

// True when the parameter shows module settings (read back from the module).
bool showsSettings(const Param &param);

// The values of a new instance over the module's saved settings: the
// plug-in's defaults, and the fade control item that the plug-in drives.
ParamValues newParamValues(const host::StoredSettings &saved, int32_t fadeItem);

// Takes a frei0r value into the parameter; true when a module setting changed.
bool setParamValue(const Param &param, ParamValues &values, const void *value);

// Gives the parameter's frei0r value.
void getParamValue(const Param &param, const ParamValues &values, void *value);

// A normalised frei0r value 0..1 as the setting's integer: low + round(v ×
// (high − low)), clamped to the span; NaN gives the low end.
int32_t settingOfNormalised(double value, const SettingSpan &span);
// The setting back as a normalised value (outside 0..1 when the setting is).
double normalisedOfSetting(int32_t setting, const SettingSpan &span);

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
