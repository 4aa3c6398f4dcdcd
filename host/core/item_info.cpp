#include "host/core/item_info.h"

#include <algorithm>

namespace kivo::host {

namespace {
const ItemTable *gInstalled = nullptr;

extern "C" int32_t serveParam(int32_t item, int32_t code, double time, double out[3]) {
    if (gInstalled == nullptr) {
        out[0] = out[1] = out[2] = 0.0;
        return 0;
    }
    return gInstalled->param(item, code, time, out);
}

ItemInfoService gService = {{}, serveParam};
} // namespace

Vector3 interpolateKeys(const std::vector<ItemKey> &keys, double time, bool scale) {
    auto pick = [scale](const ItemKey &key) { return scale ? key.scale : key.position; };
    if (keys.empty()) return scale ? Vector3{1.0, 1.0, 1.0} : Vector3{0.0, 0.0, 0.0};
    if (time <= keys.front().time) return pick(keys.front());
    if (time >= keys.back().time) return pick(keys.back());
    auto after = std::upper_bound(keys.begin(), keys.end(), time,
                                  [](double t, const ItemKey &key) { return t < key.time; });
    const ItemKey &b = *after;
    const ItemKey &a = *(after - 1);
    const double span = b.time - a.time;
    const double u = span > 0.0 ? (time - a.time) / span : 1.0;
    Vector3 va = pick(a), vb = pick(b), result{};
    for (int i = 0; i < 3; ++i) result[i] = va[i] + (vb[i] - va[i]) * u;
    return result;
}

void ItemTable::setItem(SceneItem item) {
    std::stable_sort(item.keys.begin(), item.keys.end(),
                     [](const ItemKey &a, const ItemKey &b) { return a.time < b.time; });
    const int32_t id = item.id;
    items_[id] = std::move(item);
}

const SceneItem *ItemTable::find(int32_t id) const {
    auto found = items_.find(id);
    return found == items_.end() ? nullptr : &found->second;
}

int32_t ItemTable::param(int32_t item, int32_t code, double time, double out[3]) const {
    calls_.push_back({item, code, time});
    const SceneItem *found = find(item);
    if (found == nullptr || (code != ITEM_PARAM_POSITION && code != ITEM_PARAM_SCALING)) {
        out[0] = out[1] = out[2] = 0.0;
        return 0;
    }
    const Vector3 value = interpolateKeys(found->keys, time, code == ITEM_PARAM_SCALING);
    for (int i = 0; i < 3; ++i) out[i] = value[i];
    return 1;
}

ItemInfoService *ItemTable::service() { return &gService; }

ScopedItemTable::ScopedItemTable(const ItemTable &table) : previous_(gInstalled) { gInstalled = &table; }

ScopedItemTable::~ScopedItemTable() { gInstalled = previous_; }

} // namespace kivo::host
