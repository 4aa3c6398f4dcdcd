#include "host/preview/render_job.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/media/atomic_file.h"
#include "host/media/raw_stream.h"
#include "host/preview/preview_session.h"

extern char **environ;

namespace kivo::preview {
namespace {

constexpr int kSceneFd = 3; // where the render reads the scene
constexpr size_t kMostErrorLines = 20;

struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
        read = fds[0];
        write = fds[1];
    }
};

void writeAll(int fd, const std::string &text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the render ended; it says why
        done += static_cast<size_t>(n);
    }
}

// A render's own signals and process group: the terminal's Ctrl+C reaches
// the viewer, which decides; the render stops when the viewer asks it to.
pid_t spawnRender(const std::vector<std::string> &arguments, int input, int scene, int report, int errors) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, report, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, scene, kSceneFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kSceneFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    std::vector<char *> argv;
    for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int status = ::posix_spawn(&pid, arguments[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (status != 0) throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(status));
    return pid;
}

} // namespace

RenderJob::RenderJob(RenderCommand command, const PreviewInput &input, EventHub &hub)
    : command_(std::move(command)), input_(input), hub_(hub) {}

std::vector<std::string> RenderJob::arguments(const std::string &scenePath) const {
    std::vector<std::string> arguments = {command_.program, "render", scenePath};
    if (input_.path().empty()) {
        arguments.insert(arguments.end(),
                         {"-i", "-", "--size",
                          std::to_string(PreviewInput::kDemoWidth) + "x" + std::to_string(PreviewInput::kDemoHeight),
                          "--start", std::to_string(input_.first())});
    } else {
        arguments.insert(arguments.end(), {"-i", input_.path()});
    }
    arguments.insert(arguments.end(), {"-o", command_.output});
    if (!command_.module.empty()) arguments.insert(arguments.end(), {"--module", command_.module});
    return arguments;
}

nlohmann::json RenderJob::stateLocked() const {
    std::string message;
    for (const std::string &line : errors_) message += (message.empty() ? "" : "\n") + line;
    return {{"status", status_},         {"written", written_},
            {"replayed", replayed_},     {"total", int64_t{input_.last()} - input_.first() + 1},
            {"output", command_.output}, {"message", message}};
}

nlohmann::json RenderJob::state() const {
    std::lock_guard lock(mutex_);
    return stateLocked();
}

void RenderJob::join() {
    if (watcher_.joinable()) watcher_.join();
    if (feeder_.joinable()) feeder_.join();
}

nlohmann::json RenderJob::start(const std::string &sceneText, bool overwrite) {
    if (command_.output.empty()) throw BadRequest("no output: start the viewer with -o OUTPUT to render");
    std::lock_guard lock(mutex_);
    if (status_ == "running") throw BadRequest("a render is running; cancel it first");
    join();
    std::vector<std::string> arguments = this->arguments("/dev/fd/" + std::to_string(kSceneFd));
    arguments.insert(arguments.end(), {"--quiet", "--worker-report"});
    if (overwrite) arguments.push_back("--overwrite");
    Pipe scene, frames, report, errors;
    const int input = input_.path().empty() ? frames.read : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t pid = -1;
    try {
        pid = spawnRender(arguments, input, scene.read, report.write, errors.write);
    } catch (...) {
        for (int fd :
             {scene.read, scene.write, frames.read, frames.write, report.read, report.write, errors.read, errors.write})
            ::close(fd);
        if (input != frames.read) ::close(input);
        throw;
    }
    for (int fd : {scene.read, frames.read, report.write, errors.write}) ::close(fd);
    if (input != frames.read) ::close(input);
    if (!input_.path().empty()) {
        ::close(frames.write);
        frames.write = -1;
    }
    pid_ = pid;
    status_ = "running";
    written_ = replayed_ = 0;
    errors_.clear();
    cancelled_ = false;
    feeder_ = std::thread([this, s = scene.write, f = frames.write, sceneText] { feed(s, f, sceneText); });
    watcher_ = std::thread([this, r = report.read, e = errors.read] { watch(r, e); });
    hub_.publish("render", stateLocked());
    return stateLocked();
}

void RenderJob::feed(int sceneFd, int framesFd, std::string sceneText) const {
    writeAll(sceneFd, sceneText);
    ::close(sceneFd);
    if (framesFd < 0) return;
    try {
        media::RawFrameWriter writer(framesFd, "the render's input");
        const std::unique_ptr<media::FrameSource> frames = input_.frames(input_.first(), input_.last());
        for (media::Frame frame; frames->next(frame);) writer.write(frame.image);
    } catch (const std::exception &) {
        // The render stopped reading: it ended, and says why.
    }
    ::close(framesFd);
}

void RenderJob::readLine(const std::string &line, bool report) {
    std::lock_guard lock(mutex_);
    if (!report) {
        if (errors_.size() == kMostErrorLines) errors_.erase(errors_.begin());
        errors_.push_back(line);
        return;
    }
    if (line.rfind("W ", 0) == 0)
        ++written_;
    else if (line.rfind("R ", 0) == 0)
        ++replayed_;
    else
        return;
    hub_.publish("render", stateLocked());
}

void RenderJob::watch(int report, int errors) {
    std::string pending[2];
    pollfd fds[2] = {{report, POLLIN, 0}, {errors, POLLIN, 0}};
    for (int open = 2; open > 0;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            pending[i].append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending[i].find('\n')) != std::string::npos; pending[i].erase(0, end + 1))
                readLine(pending[i].substr(0, end), i == 0);
        }
    }
    std::lock_guard lock(mutex_); // no signal reaches the process once reaped
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    status_ = code == 0 ? "finished" : cancelled_ ? "cancelled" : "failed";
    if (code != 0 && errors_.empty()) errors_.push_back("the render ended with status " + std::to_string(code));
    pid_ = -1;
    hub_.publish("render", stateLocked());
}

nlohmann::json RenderJob::cancel() {
    std::lock_guard lock(mutex_);
    if (status_ == "running" && pid_ > 0) {
        cancelled_ = true;
        ::kill(pid_, SIGINT);
    }
    return stateLocked();
}

void RenderJob::stop() {
    cancel();
    std::thread watcher, feeder;
    {
        std::lock_guard lock(mutex_);
        watcher = std::move(watcher_);
        feeder = std::move(feeder_);
    }
    if (watcher.joinable()) watcher.join();
    if (feeder.joinable()) feeder.join();
}

} // namespace kivo::preview
