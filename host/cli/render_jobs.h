// vidmixer render --jobs N: N worker processes, each a vidmixer rendering
// one share of the scene's segments (render --segments I/N), under one
// progress display. Each process loads the module itself, so every worker's
// generator history is its own.
#ifndef KIVO_HOST_CLI_RENDER_JOBS_H
#define KIVO_HOST_CLI_RENDER_JOBS_H

#include <cstdint>
#include <ostream>

namespace kivo::cli {

struct RenderRequest;

// Runs the workers to the end and returns the render's exit code: 0 when
// every worker finished, 130 when stopped by a signal, 1 when a worker
// failed or crashed (reported with the segment it was in; the others run
// to their end, and every finished frame stays).
int runJobs(const RenderRequest &request, int64_t framesToWrite, int64_t framesToReplay, std::ostream &err);

} // namespace kivo::cli

#endif
