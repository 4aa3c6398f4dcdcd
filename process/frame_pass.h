// The per-frame pass over the image.
#ifndef KIVO_PROCESS_FRAME_PASS_H
#define KIVO_PROCESS_FRAME_PASS_H

#include "module/host_abi.h"

extern "C" {
void processFrame(void *instance, const FrameAccess *access);
}

#endif
