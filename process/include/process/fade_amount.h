// How far a frame is blended towards its look, read from the fade control
// object through the host's item information service.
#ifndef KIVO_PROCESS_FADE_AMOUNT_H
#define KIVO_PROCESS_FADE_AMOUNT_H

#include "contract/host_abi.h"
#include "instance/mixer_instance.h"

// At most one param call per frame, to itemInfo (the service saved at
// activation). Gives 0.0, without calling the host, when no control object
// is chosen, when the service is missing, and for records no panel stores: an axis outside X, Y, Z or a divisor of 0.
// A component that is not a number also gives 0.0; an infinite one is
// clamped like any other (mixChannel bounds what an infinite amount does).
double computeFadeAmount(const MixerInstance &instance, const FrameAccess &access,
                         const ItemInfoService *itemInfo);

#endif
