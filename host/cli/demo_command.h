// vidmixer demo: the built-in default, needing no input.
#ifndef KIVO_HOST_CLI_DEMO_COMMAND_H
#define KIVO_HOST_CLI_DEMO_COMMAND_H

#include <ostream>
#include <string>

namespace kivo::cli {

// Generates a test sequence in outDir/input, renders it through each of the
// four looks under a fade from 0 at the first frame to 1 at the last
// (outDir/<look>/####.png, with the scene used in outDir/scenes/<look>.json),
// lays out a contact sheet (outDir/contact-sheet.png: one row per look,
// columns at fade 0, 0.25, 0.5, 0.75 and 1) and prints where all of it is.
// Unless force is set, throws std::invalid_argument before writing anything
// when a scene there differs from the one the demo would write (the user
// edited it).
int runDemo(const std::string &outDir, const std::string &modulePath, std::ostream &out, std::ostream &err,
            bool force = false);

} // namespace kivo::cli

#endif
