#include "host/scene/json_reader.h"

#include <cmath>
#include <limits>
#include <vector>

#include "host/scene/scene_error.h"

namespace kivo::scene {

std::string jsonPointerToken(std::string_view key) {
    std::string token;
    for (char c : key) {
        if (c == '~')
            token += "~0";
        else if (c == '/')
            token += "~1";
        else
            token += c;
    }
    return token;
}

namespace {

// Follows the parser's events to know the path of every key, so that a key
// given twice in one object can be reported where it is.
class DuplicateKeyCheck {
public:
    explicit DuplicateKeyCheck(const std::string &file) : file_(file) {}

    bool operator()(int, Json::parse_event_t event, Json &parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            elementStarts();
            frames_.push_back({event == Json::parse_event_t::array_start, 0, {}, {}});
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end: frames_.pop_back(); break;
        case Json::parse_event_t::value: elementStarts(); break;
        case Json::parse_event_t::key: {
            Frame &top = frames_.back();
            top.key = parsed.get<std::string>();
            if (!top.keys.insert(top.key).second)
                throw SceneError(file_, currentPath(), "key \"" + top.key + "\" appears twice");
            break;
        }
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        size_t count;    // elements started so far (arrays)
        std::string key; // key being read (objects)
        std::set<std::string> keys;
    };

    void elementStarts() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().count;
    }

    std::string currentPath() const {
        std::string path;
        for (const Frame &frame : frames_)
            path += "/" + (frame.array ? std::to_string(frame.count - 1) : jsonPointerToken(frame.key));
        return path;
    }

    const std::string &file_;
    std::vector<Frame> frames_;
};

// "[json.exception.parse_error.101] parse error at line 2, column 3: reason"
// -> place "line 2, column 3", reason "reason".
[[noreturn]] void failParse(const std::string &file, const Json::parse_error &error) {
    std::string message = error.what();
    const std::string marker = "parse error at ";
    auto at = message.find(marker);
    if (at != std::string::npos) {
        message = message.substr(at + marker.size());
        const auto colon = message.find(": ");
        if (colon != std::string::npos && message.compare(0, 5, "line ") == 0)
            throw SceneError(file, message.substr(0, colon), "not valid JSON: " + message.substr(colon + 2));
    }
    throw SceneError(file, "byte " + std::to_string(error.byte), "not valid JSON: " + message);
}

} // namespace

Json parseJsonStrict(std::string_view text, const std::string &file) {
    try {
        return Json::parse(text.begin(), text.end(), DuplicateKeyCheck(file));
    } catch (const Json::parse_error &error) {
        failParse(file, error);
    } catch (const Json::exception &error) {
        // Such as a number too large for a double: the library's message
        // without its "[json.exception.out_of_range.406] " tag.
        std::string message = error.what();
        if (message.compare(0, 1, "[") == 0 && message.find("] ") != std::string::npos)
            message = message.substr(message.find("] ") + 2);
        throw SceneError(file, "", "not valid JSON: " + message);
    }
}

void JsonNode::fail(const std::string &reason) const {
    throw SceneError(file(), path_.empty() ? "top level" : path_, reason);
}

void JsonNode::wrongType(const char *expected) const {
    fail(std::string("expected ") + expected + ", found " + value_->type_name());
}

double JsonNode::number() const {
    if (!value_->is_number()) wrongType("a number");
    const double v = value_->get<double>();
    if (!std::isfinite(v)) fail("the number is out of range");
    return v;
}

int64_t JsonNode::integer(int64_t low, int64_t high) const {
    if (!value_->is_number_integer()) wrongType("an integer");
    if (value_->is_number_unsigned()) {
        const uint64_t v = value_->get<uint64_t>();
        if (v > static_cast<uint64_t>(high) || (low > 0 && v < static_cast<uint64_t>(low)))
            fail("the value " + std::to_string(v) + " is out of range " + std::to_string(low) + " to " +
                 std::to_string(high));
        return static_cast<int64_t>(v);
    }
    const int64_t v = value_->get<int64_t>();
    if (v < low || v > high)
        fail("the value " + std::to_string(v) + " is out of range " + std::to_string(low) + " to " +
             std::to_string(high));
    return v;
}

int32_t JsonNode::int32() const {
    return static_cast<int32_t>(integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string JsonNode::string() const {
    if (!value_->is_string()) wrongType("a string");
    return value_->get<std::string>();
}

size_t JsonNode::arraySize() const {
    if (!value_->is_array()) wrongType("an array");
    return value_->size();
}

JsonNode JsonNode::element(size_t index) const {
    return JsonNode((*value_)[index], path_ + "/" + std::to_string(index), file());
}

JsonObject::JsonObject(const JsonNode &node) : node_(node) {
    if (!node.value().is_object()) node.fail(std::string("expected an object, found ") + node.value().type_name());
}

JsonNode JsonObject::required(const char *key) {
    const auto found = node_.value().find(key);
    if (found == node_.value().end()) node_.fail(std::string("missing key \"") + key + "\"");
    taken_.insert(key);
    return JsonNode(*found, node_.path() + "/" + jsonPointerToken(key), node_.file());
}

bool JsonObject::has(const char *key) const { return node_.value().contains(key); }

void JsonObject::finish() const {
    for (const auto &[key, value] : node_.value().items())
        if (!taken_.count(key))
            JsonNode(value, node_.path() + "/" + jsonPointerToken(key), node_.file()).fail("unknown key");
}

} // namespace kivo::scene
