#include "host/cli/render_jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cli/progress_display.h"
#include "host/cli/render_command.h"
#include "host/cli/stop_signals.h"
#include "host/scene/scene_file.h"

extern char **environ;

namespace kivo::cli {
namespace {

struct Worker {
    pid_t pid = -1;
    int out = -1, err = -1; // progress lines, messages
    std::string outBuffer, errText;
    std::optional<int64_t> history; // the segment it is in
    int status = 0;
    bool running = false;
};

std::vector<std::string> workerArguments(const RenderRequest &request, int32_t index) {
    std::vector<std::string> args = {"vidmixer", "render", "-i", request.input, "-o", request.output, "-q",
                                     "--worker-report", "--segments",
                                     std::to_string(index) + "/" + std::to_string(request.jobs)};
    if (request.frames)
        args.insert(args.end(), {"--frames", std::to_string(request.frames->first) + "-" +
                                                 std::to_string(request.frames->last)});
    if (!request.module.empty()) args.insert(args.end(), {"--module", request.module});
    if (request.writers > 0) args.insert(args.end(), {"--writers", std::to_string(request.writers)});
    if (request.resume) args.push_back("--resume");
    if (request.overwrite) args.push_back("--overwrite");
    if (!request.replay) args.push_back("--no-replay");
    if (request.depth8) args.insert(args.end(), {"--depth", "8"});
    if (!request.autorotate) args.push_back("--no-autorotate");
    if (request.start) args.insert(args.end(), {"--start", std::to_string(*request.start)});
    args.insert(args.end(), {"--png-compression", std::to_string(request.pngCompression), "--"});
    if (!request.scenePath.empty()) args.push_back(request.scenePath);
    args.insert(args.end(), request.settings.begin(), request.settings.end());
    return args;
}

Worker spawnWorker(const std::string &executable, const std::vector<std::string> &args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error(std::string("cannot start a worker: ") + std::strerror(errno));
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error(std::string("cannot start a worker: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    Worker worker;
    const int failed = ::posix_spawn(&worker.pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (failed != 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot start a worker (" + executable + "): " + std::strerror(failed));
    }
    worker.out = out[0];
    worker.err = err[0];
    worker.running = true;
    return worker;
}

// Reads what a pipe has; false at its end.
bool drain(int &fd, std::string &into) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, size_t(n));
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    ::close(fd);
    fd = -1;
    return false;
}

void takeReports(Worker &worker, ProgressDisplay *progress) {
    size_t newline;
    while ((newline = worker.outBuffer.find('\n')) != std::string::npos) {
        const std::string line = worker.outBuffer.substr(0, newline);
        worker.outBuffer.erase(0, newline + 1);
        if (line.size() < 3) continue;
        const long long value = std::strtoll(line.c_str() + 2, nullptr, 10);
        if (line[0] == 'S') worker.history = value;
        if (progress && line[0] == 'W') progress->frameWritten(static_cast<int32_t>(value));
        if (progress && line[0] == 'R') progress->frameReplayed(static_cast<int32_t>(value));
    }
}

std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const auto newline = text.rfind('\n');
    text = newline == std::string::npos ? text : text.substr(newline + 1);
    if (text.rfind("vidmixer: ", 0) == 0) text.erase(0, 10);
    return text;
}

std::vector<Worker> startWorkers(const std::string &executable, const RenderRequest &request) {
    std::vector<Worker> workers;
    try {
        for (int32_t i = 0; i < request.jobs; ++i)
            workers.push_back(spawnWorker(executable, workerArguments(request, i)));
    } catch (...) {
        for (Worker &worker : workers) {
            ::kill(worker.pid, SIGTERM);
            ::waitpid(worker.pid, nullptr, 0);
        }
        throw;
    }
    return workers;
}

// Reads the workers' progress lines and messages until every one has
// closed its pipes, then waits for them. A stop signal is passed on.
void followWorkers(std::vector<Worker> &workers, ProgressDisplay *progress) {
    bool forwarded = false;
    for (;;) {
        if (StopSignals::flag() && !forwarded) {
            // A terminal's Ctrl-C reaches the workers itself; a signal to
            // this process alone is passed on.
            for (Worker &worker : workers)
                if (worker.running) ::kill(worker.pid, SIGTERM);
            forwarded = true;
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<Worker *, bool>> owners; // worker, is its message pipe
        for (Worker &worker : workers) {
            if (worker.out >= 0) fds.push_back({worker.out, POLLIN, 0}), owners.push_back({&worker, false});
            if (worker.err >= 0) fds.push_back({worker.err, POLLIN, 0}), owners.push_back({&worker, true});
        }
        if (fds.empty()) break;
        if (::poll(fds.data(), fds.size(), 500) < 0 && errno != EINTR) break;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Worker &worker = *owners[i].first;
            if (owners[i].second) {
                drain(worker.err, worker.errText);
            } else {
                drain(worker.out, worker.outBuffer);
                takeReports(worker, progress);
            }
        }
    }
    for (Worker &worker : workers) {
        while (::waitpid(worker.pid, &worker.status, 0) < 0 && errno == EINTR) {
        }
        worker.running = false;
    }
}

// A failed worker, with the segment it was in, and why.
std::string failureOf(const Worker &worker, size_t index, size_t count, const scene::Scene &scene) {
    std::string where = "worker " + std::to_string(index + 1) + " of " + std::to_string(count);
    if (worker.history) {
        const int32_t first = scene.historyStart(*worker.history);
        const int64_t last = int64_t{first} + scene.historyLength() - 1;
        where += ", segment " + std::to_string(*worker.history) + " (frames " + std::to_string(first) + " to " +
                 std::to_string(last) + ")";
    }
    if (WIFSIGNALED(worker.status))
        return where + " crashed (" + ::strsignal(WTERMSIG(worker.status)) + ", signal " +
               std::to_string(WTERMSIG(worker.status)) + ")";
    return where + " failed: " + lastLine(worker.errText);
}

} // namespace

int runJobs(const RenderRequest &request, int64_t framesToWrite, int64_t framesToReplay, std::ostream &err) {
    const scene::Scene scene = scene::loadSceneFile(request.scenePath);
    std::error_code error;
    const std::string executable = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) throw std::runtime_error("cannot start workers: the vidmixer executable is not known");

    std::unique_ptr<ProgressDisplay> progress;
    if (!request.quiet)
        progress = std::make_unique<ProgressDisplay>(err, stderrTerminalWidth(), framesToWrite, framesToReplay);
    StopSignals signals;
    const auto start = std::chrono::steady_clock::now();
    std::vector<Worker> workers = startWorkers(executable, request);
    followWorkers(workers, progress.get());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) progress->finish();

    int failures = 0;
    bool stopped = false;
    for (size_t i = 0; i < workers.size(); ++i) {
        const Worker &worker = workers[i];
        if (WIFEXITED(worker.status) && WEXITSTATUS(worker.status) == 0) {
            if (!request.quiet && !worker.errText.empty()) err << worker.errText;
        } else if (WIFEXITED(worker.status) && WEXITSTATUS(worker.status) == 130) {
            stopped = true;
        } else {
            ++failures;
            err << "vidmixer: " << failureOf(worker, i, workers.size(), scene) << "\n";
        }
    }
    if (failures > 0 || stopped) {
        err << "vidmixer: " << (failures > 0 ? "the render failed" : "interrupted")
            << "; the other workers' frames are finished; run the same command with --resume to render only the "
               "missing frames\n";
        return failures > 0 ? 1 : 130;
    }
    if (!request.quiet) {
        char rate[64];
        std::snprintf(rate, sizeof rate, " in %.1f s (%.1f fps)", seconds, double(framesToWrite) / seconds);
        err << "vidmixer: rendered " << framesToWrite << (framesToWrite == 1 ? " frame" : " frames") << " to "
            << request.output << " with " << workers.size() << " workers" << rate << "\n";
    }
    return 0;
}

} // namespace kivo::cli
