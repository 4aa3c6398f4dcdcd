// Ctrl-C and termination during a render: the frames in hand are finished
// and written, then vidmixer stops. Writing to a closed pipe becomes an
// error to report instead of a silent death.
#ifndef KIVO_HOST_CLI_STOP_SIGNALS_H
#define KIVO_HOST_CLI_STOP_SIGNALS_H

#include <atomic>

namespace kivo::cli {

class StopSignals {
public:
    StopSignals();  // installs the handlers
    ~StopSignals(); // restores the previous ones
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    static const std::atomic<bool> &flag();
};

// Writes to a closed pipe fail with EPIPE instead of killing the process.
void ignoreBrokenPipes();

} // namespace kivo::cli

#endif
