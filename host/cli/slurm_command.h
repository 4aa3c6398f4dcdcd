// vidmixer slurm: an sbatch script that renders a scene on a Slurm cluster
// as an array job, one task per share of the scene's segments.
#ifndef KIVO_HOST_CLI_SLURM_COMMAND_H
#define KIVO_HOST_CLI_SLURM_COMMAND_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/media/frame_source.h"

namespace kivo::cli {

struct SlurmRequest {
    std::string scenePath, input, output;
    int32_t tasks = 0;
    std::optional<media::FrameRange> frames;
    std::string module;                 // empty: the module beside vidmixer
    std::vector<std::string> sbatchOptions; // each "#SBATCH" line's words, as given
};

// The script: task I runs `vidmixer render ... --segments I/N --resume`, so
// a task that is requeued finishes what it left. Paths are made absolute.
std::string slurmScript(const SlurmRequest &request, const std::string &vidmixerPath);

// Prints the script to out. Throws UsageError for a scene without segments
// or fewer than one task, std::runtime_error when sbatch is not installed.
int runSlurm(const SlurmRequest &request, std::ostream &out);

} // namespace kivo::cli

#endif
