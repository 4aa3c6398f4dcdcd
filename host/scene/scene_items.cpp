#include "host/scene/scene_items.h"

namespace kivo::scene {

void fillItemTable(const Scene &scene, host::ItemTable &table) {
    for (const Item &item : scene.items) {
        host::SceneItem entry{itemIdentifier(item.id), item.name, {}};
        for (const Key &key : item.keys)
            entry.keys.push_back({scene.timeOfFrame(key.frame), key.position, key.scale});
        table.setItem(std::move(entry));
    }
}

} // namespace kivo::scene
