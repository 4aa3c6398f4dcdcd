#include "host/preview/preview_command.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "host/cli/cli_options.h"
#include "host/cli/render_endpoints.h"
#include "host/cli/stop_signals.h"
#include "host/preview/preview_server.h"
#include "host/scene/scene_file.h"

extern char **environ;

namespace kivo::preview {
namespace {

constexpr auto kSecondPress = std::chrono::seconds(5);

// Opens the address in the user's browser, if the desktop has an opener.
void openBrowser(const std::string &url, std::ostream &err) {
    const char *argv[] = {"xdg-open", url.c_str(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int status = ::posix_spawnp(&pid, "xdg-open", nullptr, &attributes, const_cast<char **>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    if (status != 0) {
        err << "vidmixer: no browser opener (xdg-open); open the address above in a browser\n";
        return;
    }
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

std::string joined(const std::vector<std::string> &parts) {
    std::string text;
    for (const std::string &part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

// Waits for the page's Quit, termination, or Ctrl+C: with unsaved changes
// the first press names them and a second one within a few seconds quits.
void waitForQuit(const std::atomic<bool> &quit, const PreviewSession &session, std::ostream &err) {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    std::chrono::steady_clock::time_point warned{};
    bool hasWarned = false;
    while (!quit) {
        const timespec tick{0, 200 * 1000 * 1000};
        const int signal = ::sigtimedwait(&stops, nullptr, &tick);
        if (signal != SIGINT && signal != SIGTERM) continue;
        const std::vector<std::string> unsaved = session.snapshot().unsaved;
        const auto now = std::chrono::steady_clock::now();
        if (signal == SIGINT && !unsaved.empty() && (!hasWarned || now - warned > kSecondPress)) {
            err << "\nvidmixer: " << session.scenePath() << " has unsaved changes (" << joined(unsaved)
                << "); save them in the page, or press Ctrl+C again to quit without them\n";
            warned = now;
            hasWarned = true;
            continue;
        }
        if (!unsaved.empty()) err << "vidmixer: quitting without saving " << joined(unsaved) << "\n";
        return;
    }
}

void checkOutput(const PreviewRequest &request) {
    if (request.output.empty()) return;
    const cli::Endpoint output = cli::describeEndpoint(request.output);
    if (output.kind == cli::EndpointKind::Stream)
        throw std::invalid_argument("the viewer renders into files: -o takes a video, a sequence or an image");
    if (output.kind == cli::EndpointKind::Sequence) media::FramePattern check(request.output);
}

} // namespace

int runPreview(const PreviewRequest &request, std::ostream &out, std::ostream &err) {
    if (request.port < 0 || request.port > 65535) throw std::invalid_argument("--port must be 0 to 65535");
    checkOutput(request);
    const std::string modulePath = cli::modulePathOr(request.module);
    scene::Scene scene = scene::loadSceneFile(request.scenePath);
    std::unique_ptr<PreviewInput> input = PreviewInput::open(request.input, scene);

    // Every thread from here on leaves SIGINT and SIGTERM to waitForQuit.
    sigset_t stops, previous;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    cli::ignoreBrokenPipes();

    PreviewSession session(request.scenePath, modulePath, std::move(scene), std::move(input));
    EventHub hub;
    std::error_code ignored;
    RenderJob render(
        {std::filesystem::read_symlink("/proc/self/exe", ignored).string(), request.module, request.output},
        session.input(), hub);
    PreviewServer server(session, render, hub, randomToken());
    server.bind(request.listen, request.port);
    if (!isLoopback(request.listen))
        err << "vidmixer: warning: listening on " << request.listen
            << ", not only this machine's loopback: anyone who can reach it and learns the address can edit "
            << request.scenePath << "\n";
    std::atomic<bool> quit{false};
    server.onQuit([&quit] { quit = true; });
    std::thread serving([&server] { server.run(); });
    out << "vidmixer preview: " << server.url() << "\n"
        << "  " << request.scenePath << " on " << (request.input.empty() ? "the demo's test picture" : request.input)
        << "; Ctrl+C or the page's Quit stops it\n"
        << std::flush;
    if (!request.noBrowser) openBrowser(server.url(), err);

    waitForQuit(quit, session, err);
    render.stop();
    server.stop();
    serving.join();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return 0;
}

} // namespace kivo::preview
