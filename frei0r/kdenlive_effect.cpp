// Writes the plug-in's effect description in Kdenlive's format, made from
// the parameter table (and through it the settings table) at build time:
//   kivo_kdenlive_effect OUTPUT.xml
// Kdenlive builds the effect's controls from it: the look as a list, the
// fade animated, sizes in pixels, the mix colour as a colour, switches as
// check boxes. Parameters an editor has no use for are fixed at their
// defaults, so a project still writes every parameter.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/param_table.h"
#include "host/media/atomic_file.h"

namespace {

using namespace kivo::frei0r;

std::string escaped(const std::string &text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string trimmed(const char *text) {
    std::string out = text;
    out.erase(0, out.find_first_not_of(' '));
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

// A list of a choice's values: paramlist holds what the plug-in is given,
// the display the panel's item texts. Numbers or, for the look, its words.
std::string listOf(const SettingFacts &facts, bool words) {
    std::string values, shown;
    for (int i = 0; i < valueNameCount(facts); ++i) {
        values += (i ? ";" : "") + (words ? std::string(facts.valueNames[i]) : std::to_string(i));
        shown += (i ? "," : "") + trimmed(facts.items[i]);
    }
    return "paramlist=\"" + escaped(values) + "\">\n        <paramlistdisplay>" + escaped(shown) +
           "</paramlistdisplay";
}

// The attributes after the name, and what goes inside before <name>.
std::string attributes(const Param &param, const ParamValues &defaults) {
    double value = 0.0;
    const SettingSpan &span = param.settings[0];
    switch (param.kind) {
    case ParamKind::Look: {
        const char *word = nullptr;
        getParamValue(param, defaults, &word);
        return "type=\"list\" default=\"" + escaped(word) + "\" " + listOf(*span.facts, true) + ">";
    }
    case ParamKind::Colour: {
        f0r_param_color_t colour{};
        getParamValue(param, defaults, &colour);
        char text[16];
        std::snprintf(text, sizeof text, "0x%02x%02x%02xff", static_cast<int>(std::lround(colour.r * 255)),
                      static_cast<int>(std::lround(colour.g * 255)), static_cast<int>(std::lround(colour.b * 255)));
        return std::string("type=\"color\" default=\"") + text + "\">";
    }
    default: getParamValue(param, defaults, &value);
    }
    const std::string fallback = "default=\"" + number(value) + "\"";
    switch (param.kind) {
    case ParamKind::Fade:
        return "type=\"animated\" " + fallback + " min=\"0\" max=\"100\" factor=\"100\" suffix=\"%\" decimals=\"1\">";
    case ParamKind::Number:
        return "type=\"constant\" " + fallback + " min=\"" + std::to_string(span.low) + "\" max=\"" +
               std::to_string(span.high) + "\" factor=\"" + std::to_string(span.high) +
               "\" suffix=\" pixels\" decimals=\"0\">";
    case ParamKind::Switch:
        if (span.facts->kind == SettingKind::Choice)
            return "type=\"list\" " + fallback + " " + listOf(*span.facts, false) + ">";
        return "type=\"bool\" " + fallback + ">";
    default: return "type=\"fixed\" " + fallback + ">"; // the host's own time unit; the retired fps; the look's number
    }
}

std::string effectText() {
    const ParamValues defaults = newParamValues(defaultSettings(), 1);
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
        << "<!-- Made from the plug-in's parameter table when it is built. -->\n"
        << "<effect LC_NUMERIC=\"C\" tag=\"frei0r." << kPluginName << "\" id=\"frei0r." << kPluginName << "\">\n"
        << "    <name>" << escaped(kPluginTitle) << "</name>\n"
        << "    <description>" << escaped(kPluginExplanation) << "</description>\n"
        << "    <author>" << escaped(kPluginTitle) << "</author>\n";
    for (int i = 0; i < paramCount(); ++i) {
        const Param &param = paramAt(i);
        out << "    <parameter name=\"" << escaped(param.name) << "\" " << attributes(param, defaults) << "\n"
            << "        <name>" << escaped(param.label) << "</name>\n"
            << "        <comment>" << escaped(param.explanation) << "</comment>\n"
            << "    </parameter>\n";
    }
    out << "</effect>\n";
    return out.str();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: kivo_kdenlive_effect OUTPUT.xml\n";
        return 2;
    }
    try {
        kivo::media::writeFileAtomically(argv[1], effectText());
    } catch (const kivo::media::FileError &error) {
        std::cerr << "kivo_kdenlive_effect: cannot write " << error.what() << "\n";
        return 1;
    }
    return 0;
}
