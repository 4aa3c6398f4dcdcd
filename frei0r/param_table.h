// The plug-in's frei0r parameters, in the order hosts list them, derived
// from the module's settings table: the plug-in's own four (look, fade, the
// retired fps, time unit), then every setting a user sets, a group as one
// parameter, then the look again as a number. Positions never change, so
// ffmpeg's positional lists keep working: new parameters go at the end.
// Each parameter's kind converts between its frei0r value and what the
// plug-in holds and refuses values outside frei0r's conventions; the fade
// control settings are the plug-in's own.
#ifndef KIVO_FREI0R_PARAM_TABLE_H
#define KIVO_FREI0R_PARAM_TABLE_H

#include <cstdint>
#include <optional>
#include <string>

#include "host/core/settings_codec.h"
#include "instance/setting_facts.h"

namespace kivo::frei0r {

// The plug-in as hosts list it.
inline constexpr char kPluginName[] = "kivo_vidmixer";
inline constexpr char kPluginTitle[] = "Kivo Video Mixer";
inline constexpr char kPluginExplanation[] =
    "Blends the picture towards static, a colour, aged black-and-white film or its negative";

enum class ParamKind { Look, Fade, Retired, TimeUnit, Number, Switch, Colour, LookNumber };

// A setting and the frei0r values that reach it: a value v gives the setting
// round(v × high), kept within low..high, and the setting s shows as s / high.
struct SettingSpan {
    const SettingFacts *facts;
    int32_t low, high;
};

// What one plug-in instance's parameters hold: the module's settings in
// stored order and the plug-in's own values.
struct ParamValues {
    host::StoredSettings settings{};
    double fade = 0.0;
    double timeUnit = 0.0; // 0: the host's own
    // The look has two forms, a word and a number. Hosts set every parameter
    // again for each frame, so a form changes the look only when its own
    // value changes: these are the values each form was last given.
    int32_t lookWord = 0;
    double lookNumber = 0.0;
};

struct Param {
    const char *name;        // as hosts address it
    const char *label;       // as an editor shows it
    const char *explanation; // one line
    ParamKind kind;
    double ParamValues::*own = nullptr;  // Fade, TimeUnit: the plug-in's own value
    double defaultValue = 0.0;           // of the plug-in's own value; a setting's default is its facts'
    SettingSpan settings[3] = {};        // Look, LookNumber, Number, Switch: [0]; Colour: the members in order
    const SettingGroup *group = nullptr; // Colour: the group it stands for
};

// The parameters, from index 0.
int paramCount();
const Param &paramAt(int index);

// The parameter's frei0r type, F0R_PARAM_*.
int paramType(ParamKind kind);

// True when the parameter shows module settings (read back from the module).
bool showsSettings(const Param &param);

// The settings of a new module instance: each setting's default.
host::StoredSettings defaultSettings();

// The values of a new instance over the module's saved settings: the
// plug-in's defaults, and the fade control item that the plug-in drives.
ParamValues newParamValues(const host::StoredSettings &saved, int32_t fadeItem);

enum class SetResult { Kept, Changed, Refused };

// Takes a frei0r value into the parameter. Changed: a module setting
// changed. Refused: the value breaks the parameter's convention (a double or
// colour component outside 0..1 or NaN, an unknown look word) and the
// parameter keeps its value; `why` then says so in one line, without the
// parameter's name.
SetResult setParamValue(const Param &param, ParamValues &values, const void *value, std::string &why);

// Gives the parameter's frei0r value.
void getParamValue(const Param &param, const ParamValues &values, void *value);

// A normalised frei0r value as the setting's integer; none outside 0..1 or NaN.
std::optional<int32_t> settingOfNormalised(double value, const SettingSpan &span);
// The setting back as a normalised value (outside 0..1 when the setting is).
double normalisedOfSetting(int32_t setting, const SettingSpan &span);

// The time unit of the process hosting the plug-in, in seconds: 0.001 inside
// ffmpeg's frei0r filter, which passes milliseconds; 1 elsewhere (MLT,
// GStreamer and the frei0r convention pass seconds).
double detectedTimeUnit();

} // namespace kivo::frei0r

#endif
