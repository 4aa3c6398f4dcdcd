// The per-frame pass over the image.
#ifndef KIVO_PROCESS_FRAME_PASS_H
#define KIVO_PROCESS_FRAME_PASS_H

#include "contract/host_abi.h"

// The handler's process callback once the entry has added the item
// information service saved at activation (null when there is none).
void processFrame(void *instance, const FrameAccess *access, const ItemInfoService *itemInfo);

#endif
