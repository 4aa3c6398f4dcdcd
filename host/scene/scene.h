// The scene that the vidmixer host keeps in a file: its timeline, the items
// whose keyframes drive the fades, and the filter instances in the order
// they run.
#ifndef KIVO_HOST_SCENE_SCENE_H
#define KIVO_HOST_SCENE_SCENE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "instance/setting_facts.h"

namespace kivo::scene {

using Vector3 = std::array<double, 3>;

// A keyframe of an item at a frame of the timeline (fractional frames
// allowed). Values hold before the first key and after the last, and are
// linear in between.
struct Key {
    double frame = 0;
    Vector3 position{0, 0, 0};
    Vector3 scale{1, 1, 1};
    bool operator==(const Key &) const = default;
};

struct Item {
    uint32_t id = 0; // non-zero; what a filter's settings name as its fade control
    std::string name;
    std::vector<Key> keys; // in increasing frame order; none: at rest
    bool operator==(const Item &) const = default;
};

inline constexpr int kRecordSize = kSettingsRecordSize;
using SettingsRecordBytes = std::array<char, kRecordSize>;

// A filter instance: the module server it runs on and the settings record
// that the module saved for it.
struct Filter {
    std::string server;
    SettingsRecordBytes record{};
    bool operator==(const Filter &) const = default;
};

struct Scene {
    double fps = 24;
    int32_t firstFrame = 1;
    int32_t lastFrame = 24;
    // Frames per generator history: the module starts afresh at every
    // segment-th frame from firstFrame. 0: the whole range is one history.
    int32_t segment = 0;
    // Frame numbers as the frei0r plug-in gives them: the module numbers
    // each frame by its time in milliseconds, and every frame stands alone,
    // independent of the frames run before it (each is its own history).
    bool millisecondNumbers = false;
    std::vector<Item> items;
    std::vector<Filter> filters;
    bool operator==(const Scene &) const = default;

    const Item *findItem(uint32_t id) const;
    double timeOfFrame(double frame) const { return frame / fps; }

    // Frames per history: the segment, 1 when frames stand alone, 0 for one history.
    int32_t historyLength() const { return millisecondNumbers ? 1 : segment; }

    // The frame number the module is given for a frame of the scene.
    int32_t moduleFrameNumber(int32_t frame) const;

    // The generator history a frame belongs to, numbered from 0 at
    // firstFrame; frames before firstFrame form their own histories (one
    // without segments), numbered below 0.
    int64_t historyOf(int32_t frame) const;
    // The first frame of a history (INT32_MIN for the one before firstFrame
    // when there are no segments).
    int32_t historyStart(int64_t history) const;
};

} // namespace kivo::scene

#endif
