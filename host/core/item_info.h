// Scene items with keyframed position and scale, served to modules as the
// "LW Item Info" service.
#ifndef KIVO_HOST_CORE_ITEM_INFO_H
#define KIVO_HOST_CORE_ITEM_INFO_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "contract/host_abi.h"

namespace kivo::host {

using Vector3 = std::array<double, 3>;

struct ItemKey {
    double time;
    Vector3 position;
    Vector3 scale;
};

// A vector channel's keys: linear between keys, holding the first value
// before the first key and the last value after the last.
Vector3 interpolateKeys(const std::vector<ItemKey> &keys, double time, bool scale);

struct SceneItem {
    int32_t id;
    std::string name;
    std::vector<ItemKey> keys; // sorted by time
};

struct ParamCall {
    int32_t item;
    int32_t code;
    double time;
    bool operator==(const ParamCall &) const = default;
};

class ItemTable {
public:
    // Adds or replaces an item; keys are sorted by time.
    void setItem(SceneItem item);
    const SceneItem *find(int32_t id) const;
    const std::map<int32_t, SceneItem> &items() const { return items_; }

    // What param reports: position (code 8) or scale (code 6) at the time.
    // Unknown items and codes give zeros and result 0; known ones result 1.
    int32_t param(int32_t item, int32_t code, double time, double out[3]) const;

    const std::vector<ParamCall> &calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }

    // The service table to offer as "LW Item Info"; it reads the installed table.
    static ItemInfoService *service();

private:
    std::map<int32_t, SceneItem> items_;
    mutable std::vector<ParamCall> calls_;
};

// Installs a table as the one the service reads, for this object's lifetime.
class ScopedItemTable {
public:
    explicit ScopedItemTable(const ItemTable &table);
    ~ScopedItemTable();
    ScopedItemTable(const ScopedItemTable &) = delete;
    ScopedItemTable &operator=(const ScopedItemTable &) = delete;

private:
    const ItemTable *previous_;
};

} // namespace kivo::host

#endif
