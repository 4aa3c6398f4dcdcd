// Hands a scene's items to the host core, whose item service the module
// reads for its fades.
#ifndef KIVO_HOST_SCENE_SCENE_ITEMS_H
#define KIVO_HOST_SCENE_SCENE_ITEMS_H

#include "host/core/item_info.h"
#include "host/scene/scene.h"

namespace kivo::scene {

// Every item of the scene, its keys at time = frame / fps. An id above
// 2147483647 becomes the signed 32-bit identifier with the same bits, the
// way the module stores it.
void fillItemTable(const Scene &scene, host::ItemTable &table);

inline int32_t itemIdentifier(uint32_t id) { return static_cast<int32_t>(id); }

} // namespace kivo::scene

#endif
