// Strict reading of a JSON document: duplicate keys, unknown keys, missing
// keys and wrong types are errors that name the file and the JSON pointer of
// the place.
#ifndef KIVO_HOST_SCENE_JSON_READER_H
#define KIVO_HOST_SCENE_JSON_READER_H

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kivo::scene {

using Json = nlohmann::json;

// Parses text, refusing a key that appears twice in one object.
Json parseJsonStrict(std::string_view text, const std::string &file);

// A value of the document together with its JSON pointer.
class JsonNode {
public:
    JsonNode(const Json &value, std::string path, const std::string &file)
        : value_(&value), path_(std::move(path)), file_(&file) {}

    const Json &value() const { return *value_; }
    const std::string &path() const { return path_; }
    const std::string &file() const { return *file_; }

    [[noreturn]] void fail(const std::string &reason) const;

    double number() const; // any finite number
    int32_t int32() const; // an integer in the signed 32-bit range
    int64_t integer(int64_t low, int64_t high) const;
    std::string string() const;
    size_t arraySize() const; // fails unless an array
    JsonNode element(size_t index) const;

private:
    [[noreturn]] void wrongType(const char *expected) const;

    const Json *value_;
    std::string path_;
    const std::string *file_;
};

// An object whose keys must all be known: take each key once with
// required() or optional(), then call finish() to reject the rest.
class JsonObject {
public:
    explicit JsonObject(const JsonNode &node);

    const JsonNode &node() const { return node_; }
    JsonNode required(const char *key);
    bool has(const char *key) const;
    void finish() const;

private:
    JsonNode node_;
    std::set<std::string, std::less<>> taken_;
};

// The JSON pointer token of a key ('~' and '/' escaped).
std::string jsonPointerToken(std::string_view key);

} // namespace kivo::scene

#endif
