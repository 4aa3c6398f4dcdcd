#include "host/preview/preview_server.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>

#include <httplib.h>

#include "host/media/image_file.h"
#include "host/preview/preview_state.h"
#include "host/preview/shown_frame.h"
#include "host/preview/web_assets.h"
#include "host/scene/scene_error.h"
#include "host/scene/scene_json.h"

namespace kivo::preview {
namespace {

constexpr char kTokenHeader[] = "X-Kivo-Token";
constexpr char kTokenPlaceholder[] = "KIVO_PREVIEW_TOKEN";
constexpr size_t kServerThreads = 16;

void reply(httplib::Response &response, int status, const nlohmann::json &body) {
    response.status = status;
    response.set_content(body.dump(), "application/json");
}

void refuse(httplib::Response &response, int status, const std::string &why) {
    reply(response, status, {{"error", why}});
}

// The token compared in full whatever the first difference, so that the
// time taken tells nothing of it.
bool sameText(std::string_view given, std::string_view token) {
    if (given.size() != token.size() || token.empty()) return false;
    unsigned difference = 0;
    for (size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(token[i]);
    return difference == 0;
}

std::string cookieName(int port) { return "kivo_preview_" + std::to_string(port); }

int32_t frameNumber(const httplib::Request &request) {
    const std::string text = request.get_param_value("n");
    size_t end = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &end);
    } catch (const std::exception &) {
        end = std::string::npos;
    }
    if (text.empty() || end != text.size() || value < INT32_MIN || value > INT32_MAX)
        throw BadRequest("n must be a frame number, not \"" + text + "\"");
    return static_cast<int32_t>(value);
}

} // namespace

std::string randomToken() {
    std::random_device device;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        token += part;
    }
    return token;
}

bool isLoopback(const std::string &address) {
    if (address == "localhost" || address == "::1") return true;
    in_addr ipv4{};
    return ::inet_pton(AF_INET, address.c_str(), &ipv4) == 1 && (ntohl(ipv4.s_addr) >> 24) == 127;
}

void LatestRequests::note(const std::string &page, uint64_t sequence) {
    std::lock_guard lock(mutex_);
    if (latest_.size() == kMostPages && latest_.count(page) == 0) latest_.erase(latest_.begin());
    uint64_t &latest = latest_[page];
    latest = std::max(latest, sequence);
}

bool LatestRequests::stale(const std::string &page, uint64_t sequence) const {
    std::lock_guard lock(mutex_);
    const auto found = latest_.find(page);
    return found != latest_.end() && found->second > sequence;
}

PreviewServer::PreviewServer(PreviewSession &session, RenderJob &render, EventHub &hub, std::string token)
    : session_(session), render_(render), hub_(hub), panels_(session, hub), token_(std::move(token)),
      server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    server_->set_payload_max_length(kMostBodyBytes);
    server_->set_keep_alive_max_count(1000);
    // A response's head and body go out as written: a small body held back
    // for the head's acknowledgement waits out the client's delayed ACK.
    server_->set_tcp_nodelay(true);
    server_->set_default_headers(
        {{"Cache-Control", "no-store"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"X-Frame-Options", "DENY"},
         {"Content-Security-Policy",
          "default-src 'self'; img-src 'self' blob: data:; connect-src 'self' blob:; frame-ancestors 'none'; "
          "base-uri 'none'; form-action 'none'"}});
    refuseForeign();
    routes();
}

PreviewServer::~PreviewServer() {
    stop();
    panels_.close();
}

void PreviewServer::bind(const std::string &address, int port) {
    address_ = address;
    if (address.find(':') != std::string::npos) server_->set_address_family(AF_INET6);
    port_ = port == 0 ? server_->bind_to_any_port(address) : (server_->bind_to_port(address, port) ? port : -1);
    if (port_ <= 0)
        throw std::runtime_error("cannot listen on " + address + (port ? ":" + std::to_string(port) : "") +
                                 " (is the port in use, or the address not this machine's?)");
}

std::string PreviewServer::url() const {
    const std::string host = address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_;
    return "http://" + host + ":" + std::to_string(port_) + "/?token=" + token_;
}

void PreviewServer::run() { server_->listen_after_bind(); }

void PreviewServer::stop() {
    stopping_ = true;
    hub_.close();
    panels_.close();
    server_->stop();
}

bool PreviewServer::hostAllowed(const std::string &host) const {
    const std::string port = ":" + std::to_string(port_);
    if (host.size() <= port.size() || host.compare(host.size() - port.size(), port.size(), port) != 0) return false;
    std::string name = host.substr(0, host.size() - port.size());
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (name == "localhost" || name == "127.0.0.1" || name == "::1" || name == address_) return true;
    // Listening on every address, any address of this machine will do: a
    // name could be rebound to it, an address cannot.
    in6_addr address{};
    const bool literal =
        ::inet_pton(AF_INET, name.c_str(), &address) == 1 || ::inet_pton(AF_INET6, name.c_str(), &address) == 1;
    return literal && (address_ == "0.0.0.0" || address_ == "::");
}

bool PreviewServer::carriesToken(const httplib::Request &request, bool headerOnly) const {
    if (sameText(request.get_header_value(kTokenHeader), token_)) return true;
    if (headerOnly) return false;
    if (sameText(request.get_param_value("token"), token_)) return true;
    const std::string cookies = request.get_header_value("Cookie");
    const std::string wanted = cookieName(port_) + "=";
    for (size_t at = 0; at < cookies.size();) {
        while (at < cookies.size() && cookies[at] == ' ') ++at;
        const size_t end = std::min(cookies.find(';', at), cookies.size());
        const std::string_view cookie(cookies.data() + at, end - at);
        if (cookie.substr(0, wanted.size()) == wanted && sameText(cookie.substr(wanted.size()), token_)) return true;
        at = end + 1;
    }
    return false;
}

void PreviewServer::refuseForeign() {
    server_->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        using Result = httplib::Server::HandlerResponse;
        if (!hostAllowed(request.get_header_value("Host"))) {
            refuse(response, 403,
                   "this server answers only to its own address (Host 127.0.0.1:" + std::to_string(port_) +
                       " or localhost:" + std::to_string(port_) + ")");
            return Result::Handled;
        }
        const bool post = request.method == "POST";
        if (!carriesToken(request, post)) {
            refuse(response, 403,
                   post ? "a change needs the page's token in the " + std::string(kTokenHeader) + " header"
                        : "open the address vidmixer printed: it carries the token");
            return Result::Handled;
        }
        if (request.method != "GET" && request.method != "HEAD" && !post) {
            response.set_header("Allow", "GET, POST");
            refuse(response, 405, request.method + " is not served here");
            return Result::Handled;
        }
        const bool api = request.path.rfind("/api/", 0) == 0;
        const bool readable = request.path == "/" || request.path.rfind("/assets/", 0) == 0 ||
                              request.path == "/api/state" || request.path == "/api/frame" ||
                              request.path == "/api/events";
        if (!post && api && !readable) {
            response.set_header("Allow", "POST");
            refuse(response, 405, request.path + " changes state: POST a JSON body to it");
            return Result::Handled;
        }
        if (post && !request.has_header("Content-Length")) {
            // The body's bound is checked against its declared length: a
            // chunked body would be read whole first.
            refuse(response, 411,
                   "a change needs a Content-Length (at most " + std::to_string(kMostBodyBytes) + " bytes)");
            return Result::Handled;
        }
        if (post && request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
            refuse(response, 400, "a change is a JSON body (Content-Type: application/json)");
            return Result::Handled;
        }
        return Result::Unhandled;
    });
    server_->set_error_handler([](const httplib::Request &request, httplib::Response &response) {
        if (!response.body.empty()) return;
        refuse(response, response.status,
               response.status == 413 ? "the body is larger than " + std::to_string(kMostBodyBytes) + " bytes"
                                      : request.path + ": not found");
    });
    server_->set_exception_handler([](const httplib::Request &, httplib::Response &response, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            refuse(response, 500, e.what());
        } catch (...) {
            refuse(response, 500, "unknown failure");
        }
    });
}

void PreviewServer::post(const std::string &path, std::function<nlohmann::json(const nlohmann::json &)> handle) {
    server_->Post(path, [handle](const httplib::Request &request, httplib::Response &response) {
        try {
            nlohmann::json body;
            try {
                body = nlohmann::json::parse(request.body.empty() ? std::string("{}") : request.body);
            } catch (const nlohmann::json::parse_error &error) {
                throw BadRequest(std::string("malformed JSON: ") + error.what());
            }
            if (!body.is_object()) throw BadRequest("the body must be a JSON object");
            reply(response, 200, handle(body));
        } catch (const BadRequest &error) {
            refuse(response, 400, error.what());
        } catch (const nlohmann::json::exception &error) {
            refuse(response, 400, std::string("the body does not fit: ") + error.what());
        }
    });
}

nlohmann::json PreviewServer::state() const {
    const PreviewSession::Snapshot snapshot = session_.snapshot();
    static const nlohmann::json facts = settingFactsJson();
    return {{"version", snapshot.version},
            {"scenePath", session_.scenePath()},
            {"unsaved", snapshot.unsaved},
            {"scene", sceneJson(snapshot)},
            {"input", inputJson(session_.input(), snapshot.scene)},
            {"facts", facts},
            {"panel", panels_.state()},
            {"render", render_.state()}};
}

void PreviewServer::page(const httplib::Request &request, httplib::Response &response) const {
    const EmbeddedFile *file = findEmbeddedFile("index.html");
    std::string html(file->bytes);
    const size_t at = html.find(kTokenPlaceholder);
    if (at != std::string::npos) html.replace(at, std::string(kTokenPlaceholder).size(), token_);
    if (request.has_param("token"))
        response.set_header("Set-Cookie", cookieName(port_) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict");
    response.set_content(html, contentTypeOf(file->name));
}

void PreviewServer::frame(const httplib::Request &request, httplib::Response &response) {
    const int32_t number = frameNumber(request);
    const std::string view = request.has_param("view") ? request.get_param_value("view") : "result";
    if (view != "result" && view != "source") throw BadRequest("view is result or source, not \"" + view + "\"");
    const bool download = request.has_param("download");
    uint64_t sequence = 0; // 0: a request that no later one makes stale
    const std::string page = request.get_param_value("page");
    if (request.has_param("seq")) {
        try {
            sequence = std::stoull(request.get_param_value("seq"));
        } catch (const std::exception &) {
            throw BadRequest("seq must be a whole number");
        }
        if (page.size() > 64) throw BadRequest("page is an id of at most 64 characters");
        latest_.note(page, sequence);
    }
    const auto stale = [this, &page, sequence] { return sequence != 0 && latest_.stale(page, sequence); };
    if (panels_.isOpen()) return refuse(response, 423, "a module panel is open: close it to see new frames");
    if (stale()) return refuse(response, 409, "superseded by a newer frame request");
    FrameEngine::Watch watch;
    watch.stopped = [&] { return stale() || session_.editsWaiting() || stopping_; };
    watch.replaying = [&](int64_t done, int64_t total) {
        hub_.publish("replay", {{"frame", number}, {"done", done}, {"total", total}});
    };
    std::string file;
    const bool shown = session_.withFrame(number, watch, [&](const FramePair &pair) {
        const media::Frame &frame = view == "source" ? pair.source : pair.result;
        // The file a render writes for a download, else the quickest to show.
        file = download ? pngOf(frame.image, media::kDefaultPngCompression) : shownPngOf(frame.image);
    });
    if (!shown) return refuse(response, 409, "superseded by a newer request or an edit");
    if (download) {
        std::string stem = std::filesystem::path(session_.scenePath()).stem().string();
        for (char &c : stem) // a header value: the file name's plain characters only
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
        response.set_header("Content-Disposition",
                            "attachment; filename=\"" + stem + "-" + view + "-" + std::to_string(number) + ".png\"");
    }
    response.set_header("Content-Type", "image/png");
    response.body = std::move(file); // not copied: a 1080p frame is 6 MB
}

void PreviewServer::events(httplib::Response &response) {
    std::shared_ptr<EventHub::Subscriber> subscriber = hub_.subscribe();
    response.set_chunked_content_provider("text/event-stream", [this, subscriber](size_t, httplib::DataSink &sink) {
        const std::optional<std::string> text = hub_.next(*subscriber, std::chrono::seconds(10));
        if (!text) return sink.write(": still here\n\n", 14); // a closed page shows here
        if (text->empty()) {
            sink.done();
            return true;
        }
        return sink.write(text->data(), text->size());
    });
}

void PreviewServer::routes() {
    const auto guarded = [](auto handle) {
        return [handle](const httplib::Request &request, httplib::Response &response) {
            try {
                handle(request, response);
            } catch (const BadRequest &error) {
                refuse(response, 400, error.what());
            }
        };
    };
    server_->Get("/",
                 [this](const httplib::Request &request, httplib::Response &response) { page(request, response); });
    server_->Get("/assets/(.+)", [](const httplib::Request &request, httplib::Response &response) {
        const EmbeddedFile *file = findEmbeddedFile(request.matches[1].str());
        if (file == nullptr) return refuse(response, 404, request.path + ": not found");
        response.set_content(std::string(file->bytes), contentTypeOf(file->name));
    });
    server_->Get("/api/state",
                 [this](const httplib::Request &, httplib::Response &response) { reply(response, 200, state()); });
    server_->Get("/api/frame", guarded([this](const httplib::Request &q, httplib::Response &r) { frame(q, r); }));
    server_->Get("/api/events", [this](const httplib::Request &, httplib::Response &response) { events(response); });

    post("/api/settings", [this](const nlohmann::json &body) {
        const nlohmann::json &settings = body.at("settings");
        if (!settings.is_object() || settings.empty()) throw BadRequest("settings is an object of NAME: VALUE");
        std::vector<std::string> pairs;
        for (const auto &[name, value] : settings.items())
            pairs.push_back(name + "=" + (value.is_string() ? value.get<std::string>() : value.dump()));
        if (panels_.isOpen()) throw BadRequest("a module panel is open: close it first");
        session_.changeSettings(body.value("filter", size_t{0}), pairs);
        hub_.publish("scene", {{"version", session_.snapshot().version}});
        return state();
    });
    post("/api/keys", [this](const nlohmann::json &body) {
        std::vector<scene::Key> keys;
        for (const nlohmann::json &key : body.at("keys")) keys.push_back(keyOf(key));
        const nlohmann::json &item = body.at("item");
        if (!item.is_number_integer() || item.get<int64_t>() < 1 || item.get<int64_t>() > UINT32_MAX)
            throw BadRequest("item is an item's id");
        session_.setKeys(item.get<uint32_t>(), std::move(keys));
        hub_.publish("scene", {{"version", session_.snapshot().version}});
        return state();
    });
    post("/api/save", [this](const nlohmann::json &) {
        session_.save();
        hub_.publish("scene", {{"version", session_.snapshot().version}});
        return state();
    });
    post("/api/revert", [this](const nlohmann::json &) {
        if (panels_.isOpen()) throw BadRequest("a module panel is open: close it first");
        session_.revert();
        hub_.publish("scene", {{"version", session_.snapshot().version}});
        return state();
    });
    post("/api/quit", [this](const nlohmann::json &) {
        if (quit_) quit_();
        return nlohmann::json{{"quitting", true}};
    });
    post("/api/panel/open", [this](const nlohmann::json &body) {
        const nlohmann::json shown = panels_.open(body.value("filter", size_t{0}));
        hub_.publish("scene", {{"version", session_.snapshot().version}});
        return shown;
    });
    post("/api/panel/action", [this](const nlohmann::json &body) {
        const nlohmann::json shown = panels_.act(body);
        if (!shown.value("open", false)) hub_.publish("scene", {{"version", session_.snapshot().version}});
        return shown;
    });
    post("/api/render/start", [this](const nlohmann::json &body) {
        return render_.start(scene::formatSceneText(session_.snapshot().scene), body.value("overwrite", false));
    });
    post("/api/render/cancel", [this](const nlohmann::json &) { return render_.cancel(); });
}

} // namespace kivo::preview
