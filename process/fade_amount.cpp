#include "process/fade_amount.h"


double computeFadeAmount(const MixerInstance &instance, const FrameAccess &access,
                         const ItemInfoService *itemInfo) {
    if (instance.controlItem == 0) return 0.0;
    // A stored record can hold an axis with no component to read or a
    // divisor of 0; such a record leaves the frame as rendered.
    if (instance.fadeAxis < AXIS_X || instance.fadeAxis > AXIS_Z || instance.fadeDivisor == 0) return 0.0;
    if (itemInfo == nullptr || itemInfo->param == nullptr) return 0.0;

    const int32_t code = instance.fadeChannel == FADE_COORDS ? ITEM_PARAM_POSITION : ITEM_PARAM_SCALING;
    double vector[3] = {0.0, 0.0, 0.0}; // a host that fills nothing gives 0
    itemInfo->param(instance.controlItem, code, access.time, vector);

    // A negative divisor only flips the sign of the quotient.
    double amount = vector[instance.fadeAxis] / static_cast<double>(instance.fadeDivisor);
    if (amount != amount) return 0.0; // a host value that is not a number blends nothing
    if (amount > 1.0) amount = 1.0;
    // The clamp at 1 comes first: with negatives allowed, -2.5 gives 2.5.
    if (amount < 0.0) amount = instance.allowNegatives != 0 ? -amount : 0.0;
    return amount;
}
