// The viewer's HTTP server: the page (built into the program), the scene's
// state, frames as PNG files, events, and the edits the page makes. It is
// reached only with its token (in the address, a header, or the cookie set
// from it), only under a Host of its own address, changes state only on a
// POST that carries the token in a header and a bounded JSON body, and sends
// no cross-origin headers.
#ifndef KIVO_HOST_PREVIEW_PREVIEW_SERVER_H
#define KIVO_HOST_PREVIEW_PREVIEW_SERVER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "host/preview/event_hub.h"
#include "host/preview/preview_session.h"
#include "host/preview/render_job.h"
#include "host/preview/web_panel_driver.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace kivo::preview {

inline constexpr size_t kMostBodyBytes = 64 * 1024;

// A token of 128 random bits, as 32 hexadecimal digits.
std::string randomToken();

// True for an address of the loopback network (127.0.0.0/8, ::1, localhost).
bool isLoopback(const std::string &address);

// The newest frame request of each page (by the id the page sends): a
// page's older requests give way to its newer one, never to another page's.
class LatestRequests {
public:
    static constexpr size_t kMostPages = 64;
    void note(const std::string &page, uint64_t sequence);
    bool stale(const std::string &page, uint64_t sequence) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, uint64_t> latest_;
};

class PreviewServer {
public:
    PreviewServer(PreviewSession &session, RenderJob &render, EventHub &hub, std::string token);
    ~PreviewServer();
    PreviewServer(const PreviewServer &) = delete;
    PreviewServer &operator=(const PreviewServer &) = delete;

    // Binds address:port (port 0: a free one). Throws std::runtime_error.
    void bind(const std::string &address, int port);
    int port() const { return port_; }
    // The page's address, with the token.
    std::string url() const;

    // Serves until stop(); call on a thread of its own.
    void run();
    void stop();

    // Called (on a server thread) when the page asks to quit.
    void onQuit(std::function<void()> quit) { quit_ = std::move(quit); }

    PanelSession &panels() { return panels_; }

private:
    void routes();
    void refuseForeign();
    bool hostAllowed(const std::string &host) const;
    bool carriesToken(const httplib::Request &request, bool headerOnly) const;
    nlohmann::json state() const;
    void frame(const httplib::Request &request, httplib::Response &response);
    void events(httplib::Response &response);
    void page(const httplib::Request &request, httplib::Response &response) const;
    void post(const std::string &path, std::function<nlohmann::json(const nlohmann::json &)> handle);

    PreviewSession &session_;
    RenderJob &render_;
    EventHub &hub_;
    PanelSession panels_;
    const std::string token_;
    std::unique_ptr<httplib::Server> server_;
    std::string address_;
    int port_ = 0;
    LatestRequests latest_;
    std::atomic<bool> stopping_{false};
    std::function<void()> quit_;
};

} // namespace kivo::preview

#endif
