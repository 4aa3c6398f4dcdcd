// The module's panels in the page. The interface activation runs on a thread
// of its own, as a host runs it: every panel the module opens is handed to
// the web driver, which shows it to the page (as part of its state) and
// waits for the page's actions: a control changed (through the control's
// event callback, which may open a settings panel on top), OK or Cancel.
// OK and Cancel, the records written and the module's messages are those of
// `vidmixer edit`, which runs the same activation with another driver.
#ifndef KIVO_HOST_PREVIEW_WEB_PANEL_DRIVER_H
#define KIVO_HOST_PREVIEW_WEB_PANEL_DRIVER_H

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/panels/panel_driver.h"
#include "host/preview/event_hub.h"
#include "host/preview/preview_session.h"

namespace kivo::preview {

// A panel and its controls as the page draws them.
nlohmann::json panelJson(const host::Panel &panel);

class WebPanelDriver : public host::PanelDriver {
public:
    explicit WebPanelDriver(EventHub &hub) : hub_(hub) {}

    // On the activation's thread.
    bool run(host::Panel &panel) override;
    void draw(host::Panel &panel) override;
    void finish(nlohmann::json outcome);

    // From the server's threads. An action is {"panel": depth from 1,
    // "action": "set" | "ok" | "cancel", "control": index, "value": number or
    // [r, g, b]}; act waits until it was carried out and the driver waits
    // again (or the activation ended) and returns the state. Throws
    // BadRequest for an action that does not fit the panel shown.
    nlohmann::json act(const nlohmann::json &action);
    nlohmann::json state() const;
    // Waits until the activation shows its first panel or ends.
    nlohmann::json awaitShown();
    // Cancels every open panel (the server is stopping).
    void cancelAll();
    void reset(); // a new activation starts

private:
    struct Action {
        uint64_t id;
        nlohmann::json body;
    };
    void publish(); // with mutex_ held
    nlohmann::json stateLocked() const;
    bool carryOut(host::Panel &panel, const nlohmann::json &body, std::unique_lock<std::mutex> &lock);

    EventHub &hub_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<host::Panel *> open_;
    std::vector<Action> queue_;
    std::map<uint64_t, std::string> refused_;
    uint64_t nextId_ = 1, taken_ = 0, answered_ = 0, serial_ = 0; // serial_: of the state shown
    bool finished_ = true, cancelling_ = false;
    nlohmann::json panels_ = nlohmann::json::array(), outcome_;
};

// One activation of the module's interface on a filter at a time.
class PanelSession {
public:
    PanelSession(PreviewSession &session, EventHub &hub) : session_(session), driver_(hub) {}
    ~PanelSession() { close(); }

    // Starts the activation on filter (0-based) and returns the state once
    // its first panel shows or it ended. Throws BadRequest while one is open.
    nlohmann::json open(size_t filter);
    nlohmann::json act(const nlohmann::json &action) { return driver_.act(action); }
    nlohmann::json state() const { return driver_.state(); }
    bool isOpen() const;
    // Cancels an open activation and waits for its end.
    void close();

private:
    void activate(size_t filter);

    PreviewSession &session_;
    WebPanelDriver driver_;
    mutable std::mutex mutex_;
    std::thread thread_;
    bool running_ = false;
};

} // namespace kivo::preview

#endif
