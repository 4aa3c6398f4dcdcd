#include "process/mix_channel.h"

#include <cmath>

int32_t mixChannelOfNaN(int32_t from, int32_t to, double amount) {
    // An infinite amount blends without bound: towards `to` when positive,
    // away from it when negative. The terms then cancel as inf - inf or
    // 0 * inf, so the direction is taken from the operands instead.
    if (std::isinf(amount)) {
        const int64_t towards = static_cast<int64_t>(to) - from;
        const int64_t direction = amount > 0 ? towards : -towards;
        if (direction > 0) return 255;
        if (direction < 0) return 0;
    }
    // A NaN amount (or no direction) blends nothing: the channel keeps `from`.
    return from < 0 ? 0 : (from > 255 ? 255 : from);
}
