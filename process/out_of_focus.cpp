#include "process/out_of_focus.h"

#include <algorithm>

#include "process/mix_channel.h"

const SmearSteps &SmearSteps::get() {
    static SmearSteps steps;
    static bool filled = false;
    if (!filled) {
        for (int32_t luminance = 0; luminance < 256; ++luminance) {
            uint8_t *results = steps.results_[luminance];
            for (int32_t v = 0; v < 256; ++v) results[v] = static_cast<uint8_t>(mixChannel(v, luminance, 0.4));
            // Blends are non-decreasing in v, so one sweep finds each least v.
            int32_t v = 0;
            for (int32_t atLeast = 0; atLeast < 256; ++atLeast) {
                while (v < 256 && results[v] < atLeast) ++v;
                steps.least_[luminance][atLeast] = static_cast<uint16_t>(v);
            }
        }
        filled = true;
    }
    return steps;
}

uint8_t SmearChain::apply(uint8_t v, const SmearSteps &steps) const {
    switch (kind) {
    case Identity: return v;
    case Single: return steps.step(v, single);
    case Steps: break;
    }
    // The last segment that starts at or below v; start[0] is 0.
    const uint8_t *segment = std::upper_bound(start, start + count, v) - 1;
    return value[segment - start];
}

void SmearChain::extend(int32_t luminance, const SmearSteps &steps) {
    switch (kind) {
    case Identity:
        kind = Single;
        single = static_cast<uint8_t>(luminance);
        return;
    case Single: {
        // Tabulate both blends once and keep where the result changes.
        count = 0;
        for (int32_t v = 0; v < 256; ++v) {
            const uint8_t r = steps.step(steps.step(static_cast<uint8_t>(v), luminance), single);
            if (count == 0 || value[count - 1] != r) {
                start[count] = static_cast<uint8_t>(v);
                value[count] = r;
                ++count;
            }
        }
        kind = Steps;
        return;
    }
    case Steps: break;
    }
    // Segment i now starts at the least input whose blend reaches start[i];
    // segments that become empty or unreachable drop out. In place: the
    // write position never passes the read position.
    uint16_t kept = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t first = steps.leastReaching(luminance, start[i]);
        if (first > 255) break;
        if (kept > 0 && start[kept - 1] == first) {
            value[kept - 1] = value[i];
        } else {
            start[kept] = static_cast<uint8_t>(first);
            value[kept] = value[i];
            ++kept;
        }
    }
    count = kept;
}

void OutOfFocus::prepare(int32_t width, int64_t displacement) {
    steps_ = &SmearSteps::get();
    displacement_ = displacement;
    slotCount_ = 0;
    // Chains pay off where they are long; short ones are blended directly.
    if (displacement > kChainCapacity || width / displacement < 32) return;
    slotCount_ = kChainCapacity / displacement;
    for (int64_t i = 0; i < slotCount_; ++i) rows_[i] = SmearRow{-1, 0, 0, chains_ + i * displacement};
}

uint8_t OutOfFocus::smearInOrder(uint8_t v, SmearRow &slot, const uint8_t *red, const uint8_t *green,
                                 const uint8_t *blue, int64_t x) {
    SmearChain &chain = slot.chains[slot.nextClass];
    slot.nextX = x + 1;
    if (++slot.nextClass == displacement_) slot.nextClass = 0;
    const int64_t d = displacement_;
    if (x <= 2 * d) {
        chain.kind = SmearChain::Identity; // no sample lies at column d or less
        return v;
    }
    const int64_t k = x - d;
    chain.extend(smearLuminance(red[k], green[k], blue[k]), *steps_);
    return chain.apply(v, *steps_);
}
