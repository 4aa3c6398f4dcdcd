#include "host/cli/stop_signals.h"

#include <csignal>

namespace kivo::cli {
namespace {

std::atomic<bool> gStop{false};
struct sigaction gPreviousInt, gPreviousTerm;

extern "C" void onStopSignal(int) { gStop = true; }

} // namespace

StopSignals::StopSignals() {
    gStop = false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
}

const std::atomic<bool> &StopSignals::flag() { return gStop; }

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

} // namespace kivo::cli
