#include "host/scene/scene_json.h"

#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>

#include "host/scene/json_reader.h"
#include "host/scene/scene_error.h"
#include "host/scene/settings_record_text.h"

namespace kivo::scene {
namespace {

Vector3 readVector(const JsonNode &node) {
    if (node.arraySize() != 3) node.fail("expected three numbers [x, y, z]");
    return {node.element(0).number(), node.element(1).number(), node.element(2).number()};
}

std::vector<Key> readKeys(const JsonNode &node) {
    std::vector<Key> keys;
    for (size_t i = 0, n = node.arraySize(); i < n; ++i) {
        JsonObject object(node.element(i));
        const JsonNode frame = object.required("frame");
        Key key{frame.number(), readVector(object.required("position")), readVector(object.required("scale"))};
        object.finish();
        if (!keys.empty() && key.frame <= keys.back().frame) frame.fail("keys must be in increasing frame order");
        keys.push_back(key);
    }
    return keys;
}

Item readItem(const JsonNode &node, std::map<uint32_t, std::string> &idPlaces) {
    JsonObject object(node);
    Item item;
    const JsonNode id = object.required("id");
    item.id = static_cast<uint32_t>(id.integer(1, std::numeric_limits<uint32_t>::max()));
    const auto [place, inserted] = idPlaces.emplace(item.id, id.path());
    if (!inserted) id.fail("duplicate item id " + std::to_string(item.id) + " (also at " + place->second + ")");
    item.name = object.required("name").string();
    item.keys = readKeys(object.required("keys"));
    object.finish();
    return item;
}

Filter readFilter(const JsonNode &node) {
    JsonObject object(node);
    Filter filter;
    const JsonNode server = object.required("server");
    filter.server = server.string();
    if (filter.server.empty()) server.fail("the server name is empty");
    const bool text = object.has("record"), hex = object.has("record_hex");
    if (text && hex) node.fail("give either \"record\" or \"record_hex\", not both");
    if (!text && !hex) node.fail("missing key \"record\" (or \"record_hex\")");
    if (text) {
        const JsonNode record = object.required("record");
        const auto bytes = recordFromText(record.string());
        if (!bytes) record.fail("a record text holds at most 128 ASCII characters");
        filter.record = *bytes;
    } else {
        const JsonNode record = object.required("record_hex");
        const auto bytes = recordFromHex(record.string());
        if (!bytes) record.fail("expected 256 hexadecimal digits (128 bytes)");
        filter.record = *bytes;
    }
    object.finish();
    return filter;
}

Scene readScene(const Json &document, const std::string &file) {
    JsonObject root(JsonNode(document, "", file));
    const JsonNode format = root.required("format");
    if (!format.value().is_string() || format.string() != kSceneFormatName)
        format.fail(std::string("not a vidmixer scene (expected \"") + kSceneFormatName + "\")");
    const JsonNode version = root.required("version");
    if (version.integer(0, std::numeric_limits<int32_t>::max()) != kSceneFormatVersion)
        version.fail("unsupported scene version (this vidmixer reads version " + std::to_string(kSceneFormatVersion) +
                     ")");

    Scene scene;
    const JsonNode fps = root.required("fps");
    scene.fps = fps.number();
    if (!(scene.fps > 0)) fps.fail("frames per second must be above 0");
    scene.firstFrame = root.required("first_frame").int32();
    const JsonNode last = root.required("last_frame");
    scene.lastFrame = last.int32();
    if (scene.lastFrame < scene.firstFrame) last.fail("the last frame comes before the first frame");
    if (root.has("segment")) {
        const JsonNode segment = root.required("segment");
        if (segment.value().is_number_integer() && segment.int32() < 1)
            segment.fail("a segment is at least 1 frame (found " + std::to_string(segment.int32()) + ")");
        scene.segment = static_cast<int32_t>(segment.integer(1, std::numeric_limits<int32_t>::max()));
    }
    if (root.has("frame_numbers")) {
        const JsonNode numbers = root.required("frame_numbers");
        const std::string kind = numbers.string();
        if (kind != "frames" && kind != "milliseconds")
            numbers.fail("frame numbers are \"frames\" or \"milliseconds\" (found \"" + kind + "\")");
        scene.millisecondNumbers = kind == "milliseconds";
    }

    const JsonNode items = root.required("items");
    std::map<uint32_t, std::string> idPlaces;
    for (size_t i = 0, n = items.arraySize(); i < n; ++i)
        scene.items.push_back(readItem(items.element(i), idPlaces));

    const JsonNode filters = root.required("filters");
    for (size_t i = 0, n = filters.arraySize(); i < n; ++i)
        scene.filters.push_back(readFilter(filters.element(i)));
    root.finish();
    return scene;
}

std::string leaf(const Json &value) { return value.dump(-1, ' ', false, Json::error_handler_t::strict); }

std::string vectorText(const Vector3 &v) { return "[" + leaf(v[0]) + ", " + leaf(v[1]) + ", " + leaf(v[2]) + "]"; }

} // namespace

Scene parseSceneText(std::string_view text, const std::string &file) {
    return readScene(parseJsonStrict(text, file), file);
}

namespace {

std::string writeScene(const Scene &scene) {
    std::ostringstream out;
    out << "{\n"
        << "  \"format\": " << leaf(kSceneFormatName) << ",\n"
        << "  \"version\": " << kSceneFormatVersion << ",\n"
        << "  \"fps\": " << leaf(scene.fps) << ",\n"
        << "  \"first_frame\": " << scene.firstFrame << ",\n"
        << "  \"last_frame\": " << scene.lastFrame << ",\n";
    if (scene.segment > 0) out << "  \"segment\": " << scene.segment << ",\n";
    if (scene.millisecondNumbers) out << "  \"frame_numbers\": \"milliseconds\",\n";
    out << "  \"items\": [";
    for (size_t i = 0; i < scene.items.size(); ++i) {
        const Item &item = scene.items[i];
        out << (i ? ",\n" : "\n") << "    {\n"
            << "      \"id\": " << item.id << ",\n"
            << "      \"name\": " << leaf(item.name) << ",\n"
            << "      \"keys\": [";
        for (size_t k = 0; k < item.keys.size(); ++k) {
            const Key &key = item.keys[k];
            out << (k ? ",\n" : "\n") << "        {\"frame\": " << leaf(key.frame)
                << ", \"position\": " << vectorText(key.position) << ", \"scale\": " << vectorText(key.scale) << "}";
        }
        out << (item.keys.empty() ? "]\n" : "\n      ]\n") << "    }";
    }
    out << (scene.items.empty() ? "],\n" : "\n  ],\n") << "  \"filters\": [";
    for (size_t i = 0; i < scene.filters.size(); ++i) {
        const Filter &filter = scene.filters[i];
        out << (i ? ",\n" : "\n") << "    {\"server\": " << leaf(filter.server) << ", ";
        if (const auto text = recordAsText(filter.record))
            out << "\"record\": " << leaf(*text) << "}";
        else
            out << "\"record_hex\": " << leaf(recordAsHex(filter.record)) << "}";
    }
    out << (scene.filters.empty() ? "]\n" : "\n  ]\n") << "}\n";
    return out.str();
}

} // namespace

std::string formatSceneText(const Scene &scene) {
    // Never hand out a file that would not load again.
    try {
        std::string text = writeScene(scene);
        if (!(parseSceneText(text, "scene") == scene)) throw std::invalid_argument("it does not read back as written");
        return text;
    } catch (const std::exception &error) {
        throw std::invalid_argument(std::string("cannot store the scene: ") + error.what());
    }
}

} // namespace kivo::scene
