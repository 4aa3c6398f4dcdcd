#include "process/out_of_focus.h"

#include "process/mix_channel.h"

const SmearSteps &SmearSteps::get() {
    static SmearSteps steps;
    static bool filled = false;
    if (!filled) {
        for (int32_t luminance = 0; luminance < 256; ++luminance)
            for (int32_t v = 0; v < 256; ++v)
                steps.results_[luminance][v] = static_cast<uint8_t>(mixChannel(v, luminance, 0.4));
        filled = true;
    }
    return steps;
}
