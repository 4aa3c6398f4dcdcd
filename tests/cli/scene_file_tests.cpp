// Scene files: every field survives a save and load, odd settings records
// come back byte for byte, and each kind of bad file is refused with the
// file and the place named.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/scene/scene_error.h"
#include "host/scene/scene_file.h"
#include "host/scene/scene_items.h"
#include "host/scene/scene_json.h"
#include "host/scene/settings_record_text.h"
#include "temp_dir.h"

using namespace kivo::scene;

namespace {

const char kDefaults[] = "0 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1";

SettingsRecordBytes recordOfBytes(std::initializer_list<std::pair<int, int>> bytes, const char *text = "") {
    SettingsRecordBytes record = recordOfText(text);
    for (auto [at, value] : bytes)
        record[at] = static_cast<char>(value);
    return record;
}

Scene richScene() {
    Scene scene;
    scene.fps = 29.97;
    scene.firstFrame = -5;
    scene.lastFrame = 100;
    scene.items.push_back({1, "Fade Control", {{-5, {0, 0, 0}, {0, 0, 0}}, {100, {1.5, -2.25, 3}, {1, 1, 1}}}});
    scene.items.push_back(
        {4294967295u, "Ünïcode \"quoted\" \\ name\t", {{0.25, {1e-300, -0.0, 1e300}, {0.1, 0.2, 0.3}}}});
    scene.items.push_back({7, "", {}});
    scene.filters.push_back({kMixerServerName, recordOfText(kDefaults)});
    scene.filters.push_back({"Other_Server", recordOfText("")});
    return scene;
}

std::string sceneJson(const std::string &items, const std::string &filters, const std::string &extra = "") {
    return R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 1, "last_frame": 24,)" + extra +
           R"( "items": )" + items + R"(, "filters": )" + filters + "}";
}

const std::string kItem =
    R"({"id": 1, "name": "A", "keys": [{"frame": 1, "position": [0, 0, 0], "scale": [1, 1, 1]}]})";
const std::string kFilter = R"({"server": "Kivo_VidMixer", "record": "0 1 1"})";

// The error of parsing text as "bad.json".
SceneError parseError(const std::string &text) {
    try {
        parseSceneText(text, "bad.json");
    } catch (const SceneError &error) {
        return error;
    }
    ADD_FAILURE() << "accepted: " << text;
    return SceneError("", "", "");
}

} // namespace

TEST(SceneFileRoundTrip, EveryFieldSurvivesTextAndFile) {
    const Scene scene = richScene();
    EXPECT_EQ(parseSceneText(formatSceneText(scene), "x"), scene);

    TempDir dir;
    saveSceneFile(scene, dir.file("scene.json"));
    const Scene loaded = loadSceneFile(dir.file("scene.json"));
    EXPECT_EQ(loaded, scene);
    EXPECT_TRUE(std::signbit(loaded.items[1].keys[0].position[1])); // -0.0 stays negative
    EXPECT_EQ(loaded.items[1].id, 4294967295u);
    EXPECT_EQ(itemIdentifier(loaded.items[1].id), -1);
}

TEST(SceneFileRoundTrip, OddRecordsComeBackByteForByte) {
    std::vector<SettingsRecordBytes> records;
    records.push_back(recordOfText(""));                        // all zeros
    records.push_back(recordOfText(std::string(128, '9')));     // no zero byte at all
    records.push_back(recordOfBytes({{5, 'x'}}, "1 2"));        // text after the zeros
    records.push_back(recordOfBytes({{0, 0xff}, {127, 0x80}})); // bytes above 127
    records.push_back(recordOfBytes({{127, 1}}));               // only the last byte set
    records.push_back(recordOfText("1\t2\n3\r\x01\x7f \"\\"));  // control characters
    SettingsRecordBytes every{};
    for (int i = 0; i < kRecordSize; ++i)
        every[i] = static_cast<char>(i * 2 + 1);
    records.push_back(every);

    Scene scene;
    for (const auto &record : records)
        scene.filters.push_back({kMixerServerName, record});
    TempDir dir;
    saveSceneFile(scene, dir.file("odd.json"));
    const Scene loaded = loadSceneFile(dir.file("odd.json"));
    ASSERT_EQ(loaded.filters.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(loaded.filters[i].record, records[i]) << "record " << i;
}

TEST(SceneFileRoundTrip, TextRecordsStayReadable) {
    Scene scene;
    scene.filters.push_back({kMixerServerName, recordOfText(kDefaults)});
    scene.filters.push_back({kMixerServerName, recordOfBytes({{60, 'z'}}, "5 6")});
    const std::string text = formatSceneText(scene);
    EXPECT_NE(text.find(std::string("\"record\": \"") + kDefaults + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"record_hex\": \"3520360000"), std::string::npos) << text;
}

TEST(SceneFileRoundTrip, HexRecordsAcceptEitherCase) {
    const std::string hex = std::string(254, '0') + "Ff";
    const Scene scene = parseSceneText(sceneJson("[]", R"([{"server": "S", "record_hex": ")" + hex + "\"}]"), "x");
    EXPECT_EQ(static_cast<unsigned char>(scene.filters[0].record[127]), 0xff);
}

TEST(SceneFileRoundTrip, ItemsReachTheItemTableAtFrameTimes) {
    Scene scene;
    scene.fps = 25;
    scene.items.push_back({0x80000000u, "top bit", {{0, {0, 0, 0}, {0, 0, 0}}, {50, {10, 20, 30}, {1, 2, 4}}}});
    kivo::host::ItemTable table;
    fillItemTable(scene, table);
    double out[3];
    ASSERT_EQ(table.param(std::numeric_limits<int32_t>::min(), ITEM_PARAM_SCALING, 1.0, out), 1);
    EXPECT_DOUBLE_EQ(out[0], 0.5); // frame 25 of 0..50
    EXPECT_DOUBLE_EQ(out[2], 2.0);
    table.param(std::numeric_limits<int32_t>::min(), ITEM_PARAM_POSITION, 3.0, out); // after the last key
    EXPECT_DOUBLE_EQ(out[1], 20.0);
}

TEST(SceneFileErrors, NotJsonNamesLineAndColumn) {
    const SceneError error = parseError("{\n  \"fps\": 24,,\n}");
    EXPECT_EQ(error.file(), "bad.json");
    EXPECT_EQ(error.place(), "line 2, column 13");
    EXPECT_NE(std::string(error.what()).find("bad.json: line 2, column 13: not valid JSON"), std::string::npos)
        << error.what();
    EXPECT_EQ(parseError("").file(), "bad.json");
}

TEST(SceneFileErrors, KeysUnknownMissingOrTwice) {
    EXPECT_EQ(parseError(sceneJson("[]", "[]", R"( "speed": 2,)")).place(), "/speed");
    EXPECT_EQ(parseError(sceneJson("[]", "[]", R"( "fps": 25,)")).place(), "/fps");
    EXPECT_EQ(parseError(sceneJson("[]", "[]", R"( "fps": 25,)")).reason(), "key \"fps\" appears twice");
    const SceneError missing = parseError(R"({"format": "kivo-vidmixer-scene", "version": 1})");
    EXPECT_EQ(missing.place(), "top level");
    EXPECT_EQ(missing.reason(), "missing key \"fps\"");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1, "name": "A", "keys": [], "colour": 3}])", "[]")).place(),
              "/items/0/colour");
    EXPECT_EQ(
        parseError(sceneJson(R"([{"id": 1, "name": "A", "keys": [{"frame": 1, "position": [0,0,0]}]}])", "[]")).place(),
        "/items/0/keys/0");
    EXPECT_EQ(
        parseError(sceneJson("[" + kItem + R"(, {"id": 2, "name": "B", "name": "C", "keys": []}])", "[]")).place(),
        "/items/1/name");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S"}])")).reason(),
              "missing key \"record\" (or \"record_hex\")");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S", "record": "", "record_hex": ""}])")).place(),
              "/filters/0");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S", "record": "", "a/b~": 1}])")).place(),
              "/filters/0/a~1b~0");
}

// A key frame is strict too: a misspelt or foreign key is not silently dropped.
TEST(SceneFileErrors, UnknownKeyInAKeyFrame) {
    const SceneError error = parseError(sceneJson(
        R"([{"id": 1, "name": "A", "keys": [{"frame": 1, "position": [0,0,0], "scale": [1,1,1], "rotation": 5}]}])",
        "[]"));
    EXPECT_EQ(error.place(), "/items/0/keys/0/rotation");
    EXPECT_EQ(error.reason(), "unknown key");
}

TEST(SceneFileErrors, WrongTypesAndValues) {
    const SceneError fps = parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": "24"})");
    EXPECT_EQ(fps.place(), "/fps");
    EXPECT_EQ(fps.reason(), "expected a number, found string");
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 0})").place(), "/fps");
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": -24})").place(), "/fps");
    EXPECT_EQ(parseError(sceneJson("{}", "[]")).reason(), "expected an array, found object");
    EXPECT_EQ(parseError(sceneJson("[3]", "[]")).place(), "/items/0");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1.5, "name": "A", "keys": []}])", "[]")).reason(),
              "expected an integer, found number");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 0, "name": "A", "keys": []}])", "[]")).place(), "/items/0/id");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": -1, "name": "A", "keys": []}])", "[]")).place(), "/items/0/id");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 4294967296, "name": "A", "keys": []}])", "[]")).place(), "/items/0/id");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1, "name": null, "keys": []}])", "[]")).place(), "/items/0/name");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1, "name": "A", "keys": [{"frame": 1, "position": [0, 0],
              "scale": [1, 1, 1]}]}])",
                                   "[]"))
                  .place(),
              "/items/0/keys/0/position");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1, "name": "A", "keys": [{"frame": 1, "position": [0, 0, 0],
              "scale": [1, true, 1]}]}])",
                                   "[]"))
                  .place(),
              "/items/0/keys/0/scale/1");
    EXPECT_EQ(parseError(sceneJson(R"([{"id": 1, "name": "A", "keys": [
              {"frame": 2, "position": [0, 0, 0], "scale": [1, 1, 1]},
              {"frame": 2, "position": [0, 0, 0], "scale": [1, 1, 1]}]}])",
                                   "[]"))
                  .place(),
              "/items/0/keys/1/frame");
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 5,
              "last_frame": 4, "items": [], "filters": []})")
                  .place(),
              "/last_frame");
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 2147483648,
              "last_frame": 4, "items": [], "filters": []})")
                  .place(),
              "/first_frame");
    EXPECT_EQ(parseError(R"({"format": "other", "version": 1})").place(), "/format");
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 2})").place(), "/version");
    EXPECT_EQ(parseError("[]").reason(), "expected an object, found array");
}

TEST(SceneFileErrors, DuplicateIdsNameBothPlaces) {
    const SceneError error = parseError(sceneJson("[" + kItem + "," + kItem + "]", "[]"));
    EXPECT_EQ(error.place(), "/items/1/id");
    EXPECT_EQ(error.reason(), "duplicate item id 1 (also at /items/0/id)");
}

TEST(SceneFileErrors, BadRecords) {
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S", "record": ")" + std::string(129, '1') + "\"}]")).place(),
              "/filters/0/record");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S", "record": "é"}])")).place(), "/filters/0/record");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "S", "record_hex": "00"}])")).place(), "/filters/0/record_hex");
    EXPECT_EQ(
        parseError(sceneJson("[]", R"([{"server": "S", "record_hex": ")" + std::string(255, '0') + "g\"}]")).place(),
        "/filters/0/record_hex");
    EXPECT_EQ(parseError(sceneJson("[]", R"([{"server": "", "record": ""}])")).place(), "/filters/0/server");
    EXPECT_NO_THROW(parseSceneText(sceneJson("[" + kItem + "]", "[" + kFilter + "]"), "good.json"));
}

TEST(SceneFileErrors, MissingFileIsNamed) {
    TempDir dir;
    try {
        loadSceneFile(dir.file("none.json"));
        FAIL() << "loaded a missing file";
    } catch (const SceneError &error) {
        EXPECT_EQ(error.file(), dir.file("none.json"));
        EXPECT_NE(error.reason().find("No such file"), std::string::npos) << error.reason();
    }
}

TEST(SceneFileSave, FailedSaveLeavesOldFileAndNoDebris) {
    TempDir dir;
    const Scene scene = richScene();
    saveSceneFile(scene, dir.file("scene.json"));
    const std::string before = dir.read("scene.json");

    Scene unstorable = scene;
    unstorable.fps = std::nan("");
    EXPECT_THROW(saveSceneFile(unstorable, dir.file("scene.json")), SceneError);
    unstorable = scene;
    unstorable.items[0].keys[0].scale[0] = std::numeric_limits<double>::infinity();
    EXPECT_THROW(saveSceneFile(unstorable, dir.file("scene.json")), SceneError);
    EXPECT_EQ(dir.read("scene.json"), before);

    std::filesystem::create_directory(dir.file("taken.json")); // cannot be replaced by a file
    EXPECT_THROW(saveSceneFile(scene, dir.file("taken.json")), SceneError);
    EXPECT_THROW(saveSceneFile(scene, dir.file("no/such/dir.json")), SceneError);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"scene.json", "taken.json"}));
}

TEST(SceneFileSave, SavingReplacesTheWholeFile) {
    TempDir dir;
    saveSceneFile(richScene(), dir.file("scene.json"));
    Scene small;
    saveSceneFile(small, dir.file("scene.json"));
    EXPECT_EQ(loadSceneFile(dir.file("scene.json")), small);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"scene.json"}));
}

TEST(SceneFileSegments, KeptReadBackAndCheckedAndTheyCutTheHistories) {
    Scene scene = richScene();
    scene.firstFrame = 5;
    scene.lastFrame = 30;
    EXPECT_EQ(formatSceneText(scene).find("segment"), std::string::npos); // files without it stay as they were
    scene.segment = 10;
    EXPECT_EQ(parseSceneText(formatSceneText(scene), "x"), scene);
    for (const char *bad : {"0", "-3", "1.5", "\"10\""}) {
        const std::string text = R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 1,
              "last_frame": 4, "segment": )" + std::string(bad) + R"(, "items": [], "filters": []})";
        EXPECT_EQ(parseError(text).place(), "/segment") << bad;
    }
    EXPECT_EQ(parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 1,
              "last_frame": 4, "segment": 0, "items": [], "filters": []})")
                  .reason(),
              "a segment is at least 1 frame (found 0)");

    // Segments of 10 from frame 5: 5-14, 15-24, ...; before 5: -5-4, ...
    const std::pair<int32_t, int64_t> histories[] = {{5, 0}, {14, 0}, {15, 1}, {30, 2}, {40, 3}, {4, -1}, {-5, -1},
                                                     {-6, -2}};
    for (const auto &[frame, history] : histories) {
        EXPECT_EQ(scene.historyOf(frame), history) << frame;
        EXPECT_LE(scene.historyStart(history), frame);
        EXPECT_GT(int64_t{scene.historyStart(history)} + scene.segment, frame);
    }
    scene.segment = 0; // one history over the range; the frames before it make another
    EXPECT_EQ(scene.historyOf(100000), 0);
    EXPECT_EQ(scene.historyStart(0), 5);
    EXPECT_EQ(scene.historyOf(4), -1);

    // Frames numbered by their time in milliseconds: kept, read back, and
    // each frame its own history.
    scene.millisecondNumbers = true;
    EXPECT_EQ(parseSceneText(formatSceneText(scene), "x"), scene);
    EXPECT_EQ(scene.historyOf(30), 25);
    EXPECT_EQ(scene.historyStart(25), 30);
    const SceneError error = parseError(R"({"format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 1,
              "last_frame": 4, "frame_numbers": "seconds", "items": [], "filters": []})");
    EXPECT_EQ(error.place(), "/frame_numbers");
    EXPECT_EQ(error.reason(), "frame numbers are \"frames\" or \"milliseconds\" (found \"seconds\")");
}
