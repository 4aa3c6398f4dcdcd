#include "host/cli/slurm_command.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "host/cli/cli_options.h"
#include "host/cli/instance_settings.h"
#include "host/cli/render_command.h"
#include "host/scene/scene_file.h"

namespace kivo::cli {
namespace {

std::string shellQuoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string absolute(const std::string &path) { return std::filesystem::absolute(path).lexically_normal().string(); }

bool onPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
    return false;
}

} // namespace

std::string slurmScript(const SlurmRequest &request, const std::string &vidmixerPath) {
    std::ostringstream script;
    script << "#!/bin/sh\n"
           << "# vidmixer render of " << absolute(request.scenePath) << " as a Slurm array job: task I renders\n"
           << "# share I of the scene's segments; --resume lets a requeued task finish its share.\n"
           << "#SBATCH --job-name=vidmixer\n"
           << "#SBATCH --array=0-" << (request.tasks - 1) << "\n"
           << "#SBATCH --ntasks=1\n"
           << "#SBATCH --requeue\n";
    // Options and their values as given: each option starts a line.
    std::string line;
    for (const std::string &word : request.sbatchOptions) {
        if (!word.empty() && word[0] == '-' && !line.empty()) {
            script << "#SBATCH " << line << "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) script << "#SBATCH " << line << "\n";
    script << "exec " << shellQuoted(vidmixerPath) << " render " << shellQuoted(absolute(request.scenePath))
           << " -i " << shellQuoted(absolute(request.input)) << " -o " << shellQuoted(absolute(request.output));
    if (request.frames)
        script << " --frames " << request.frames->first << "-" << request.frames->last;
    if (!request.module.empty()) script << " --module " << shellQuoted(absolute(request.module));
    script << " --segments \"$SLURM_ARRAY_TASK_ID/" << request.tasks << "\" --resume -q\n";
    return script.str();
}

int runSlurm(const SlurmRequest &request, std::ostream &out) {
    if (request.tasks < 1) throw UsageError("--tasks must be at least 1 (found " + std::to_string(request.tasks) + ")");
    const scene::Scene scene = scene::loadSceneFile(request.scenePath);
    if (scene.historyLength() <= 0)
        throw UsageError("a Slurm render splits the scene into whole segments, and " + request.scenePath +
                         " has none: " + addSegmentsHint());
    if (!onPath("sbatch"))
        throw std::runtime_error("Slurm is not installed here (no sbatch on the PATH); install it (Debian: slurm-wlm) "
                                 "to submit the script");
    std::error_code error;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) throw std::runtime_error("the vidmixer executable is not known");
    out << slurmScript(request, self);
    return 0;
}

} // namespace kivo::cli
