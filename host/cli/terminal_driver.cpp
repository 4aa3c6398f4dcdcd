#include "host/cli/terminal_driver.h"

#include <curses.h>

#include <algorithm>
#include <exception>
#include <limits>

#include "host/panels/control_value_text.h"
#include "host/panels/panel_model.h"

namespace kivo::cli {
namespace {

constexpr int kTop = 2;  // first row of the controls
constexpr int kLeft = 2; // indent of the panel's contents
constexpr int kEscape = 27;
constexpr int kCtrlO = 15;

std::string shownValue(const host::Control &control) {
    using host::ControlKind;
    const std::string text = control.kind() == ControlKind::SceneItem && control.value().scalar == 0
                                 ? "(none)"
                                 : host::formatControlValue(control);
    switch (control.kind()) {
    case ControlKind::Choice:
    case ControlKind::SceneItem: return "< " + text + " >";
    case ControlKind::CheckBox: return control.value().scalar != 0 ? "[x]" : "[ ]";
    case ControlKind::ColourTriple: return "( " + text + " )";
    case ControlKind::Number: return "[ " + text + " ]";
    }
    return text;
}

int32_t stepped(int32_t value, int direction) {
    const int64_t next = int64_t{value} + direction;
    return static_cast<int32_t>(
        std::clamp<int64_t>(next, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace

TerminalDriver::~TerminalDriver() { close(); }

void TerminalDriver::start() {
    if (started_) return;
    initscr();
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    started_ = true;
}

void TerminalDriver::close() {
    if (!started_) return;
    endwin();
    started_ = false;
}

void TerminalDriver::draw(host::Panel &) {
    // Every open panel is drawn afresh before each key; nothing to keep.
}

bool TerminalDriver::run(host::Panel &panel) {
    Outcome outcome = Outcome::Cancelled;
    try {
        start();
        open_.push_back(&panel);
        size_t focus = 0;
        message_.clear();
        for (Outcome now = Outcome::Open; now == Outcome::Open;) {
            render(panel, focus);
            now = handleKey(panel, focus, getch());
            outcome = now;
        }
    } catch (const std::exception &error) {
        message_ = std::string("host failure: ") + error.what();
        outcome = Outcome::Cancelled;
    }
    if (!open_.empty() && open_.back() == &panel) open_.pop_back();
    if (open_.empty()) close();
    return outcome == Outcome::Accepted;
}

void TerminalDriver::render(const host::Panel &panel, size_t focus) {
    erase();
    std::string title;
    for (const host::Panel *open : open_)
        title += (title.empty() ? "" : "  >  ") + open->title();
    attron(A_BOLD);
    mvaddnstr(0, 0, title.c_str(), COLS);
    attroff(A_BOLD);
    mvhline(1, 0, '-', COLS);

    const auto &controls = panel.controls();
    int row = kTop;
    for (size_t i = 0; i < controls.size(); ++i, ++row) {
        const host::Control &control = *controls[i];
        // Horizontal places come from the module's own alignment.
        const int column = kLeft + std::max(control.x(), 0) / host::kCellWidth;
        mvaddstr(row, column, control.label().c_str());
        if (i == focus) attron(A_REVERSE);
        addstr(" ");
        addstr(shownValue(control).c_str());
        if (i == focus) attroff(A_REVERSE);
    }
    ++row;
    const char *buttons[] = {"[ OK ]", "[ Cancel ]"};
    int column = kLeft;
    for (size_t b = 0; b < 2; ++b) {
        if (focus == controls.size() + b) attron(A_REVERSE);
        mvaddstr(row, column, buttons[b]);
        if (focus == controls.size() + b) attroff(A_REVERSE);
        column += 4 + static_cast<int>(std::string(buttons[b]).size());
    }
    row += 2;
    if (!message_.empty()) mvaddnstr(row, kLeft, message_.c_str(), COLS - kLeft);
    mvaddnstr(LINES - 1, 0,
              "Up/Down move  Left/Right change  Space toggle  Enter type a value or press  F10 OK  Esc cancel", COLS);
    refresh();
}

TerminalDriver::Outcome TerminalDriver::handleKey(host::Panel &panel, size_t &focus, int key) {
    const size_t count = panel.controls().size();
    const size_t stops = count + 2; // controls, OK, Cancel
    host::Control *control = focus < count ? panel.controls()[focus].get() : nullptr;
    message_.clear();
    switch (key) {
    case KEY_UP:
    case KEY_BTAB: focus = (focus + stops - 1) % stops; break;
    case KEY_DOWN:
    case '\t': focus = (focus + 1) % stops; break;
    case KEY_LEFT:
    case KEY_RIGHT:
        if (control) step(panel, *control, key == KEY_RIGHT ? 1 : -1);
        break;
    case ' ':
        if (control && (control->kind() == host::ControlKind::CheckBox || control->kind() == host::ControlKind::Choice))
            step(panel, *control, 1);
        break;
    case '\n':
    case '\r':
    case KEY_ENTER:
        if (control)
            typeValue(panel, *control);
        else
            return focus == count ? Outcome::Accepted : Outcome::Cancelled;
        break;
    case KEY_F(10):
    case kCtrlO: return Outcome::Accepted;
    case kEscape: return Outcome::Cancelled;
    default: break;
    }
    return Outcome::Open;
}

void TerminalDriver::step(host::Panel &panel, host::Control &control, int direction) {
    using host::ControlKind;
    host::ControlValue value = control.value();
    switch (control.kind()) {
    case ControlKind::Number: value.scalar = stepped(value.scalar, direction); break;
    case ControlKind::CheckBox: value.scalar = value.scalar != 0 ? 0 : 1; break;
    case ControlKind::Choice: {
        const auto size = static_cast<int32_t>(control.items().size());
        if (size == 0) return;
        const int32_t current = std::clamp(value.scalar, int32_t{-1}, size);
        value.scalar = ((current + direction) % size + size) % size;
        break;
    }
    case ControlKind::SceneItem: {
        // (none) and then the scene's objects, round.
        const auto &ids = control.itemIds();
        const auto found = std::find(ids.begin(), ids.end(), value.scalar);
        const int position = found == ids.end() ? 0 : static_cast<int>(found - ids.begin()) + 1;
        const int size = static_cast<int>(ids.size()) + 1;
        const int next = ((position + direction) % size + size) % size;
        value.scalar = next == 0 ? 0 : ids[next - 1];
        break;
    }
    case ControlKind::ColourTriple: message_ = "press Enter and type red green blue"; return;
    }
    panel.userSetValue(control, value);
}

void TerminalDriver::typeValue(host::Panel &panel, host::Control &control) {
    std::string hint;
    switch (control.kind()) {
    case host::ControlKind::Number: hint = "a whole number"; break;
    case host::ControlKind::Choice:
        for (const std::string &item : control.items())
            hint += (hint.empty() ? "" : ", ") + std::string(host::trimmed(item));
        break;
    case host::ControlKind::CheckBox: hint = "on or off"; break;
    case host::ControlKind::ColourTriple: hint = "red green blue"; break;
    case host::ControlKind::SceneItem:
        hint = "none";
        for (const std::string &item : control.items())
            hint += ", " + item;
        break;
    }
    const std::string text = prompt(control.label() + " (" + hint + "): ");
    if (host::trimmed(text).empty()) return;
    const auto value = host::parseControlValue(control, text);
    if (!value) {
        message_ = "\"" + text + "\" does not fit " + control.label();
        return;
    }
    panel.userSetValue(control, *value);
}

std::string TerminalDriver::prompt(const std::string &question) {
    const int row = LINES - 3;
    move(row, 0);
    clrtoeol();
    mvaddnstr(row, 0, question.c_str(), COLS);
    echo();
    curs_set(1);
    char buffer[128] = {};
    getnstr(buffer, sizeof buffer - 1);
    noecho();
    curs_set(0);
    return buffer;
}

} // namespace kivo::cli
