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

void SmearChain::compose(int32_t luminance, const SmearSteps &steps) {
    if (kind == Samples) {
        // The samples after the new blend give outputs lo..hi; each output's
        // segment starts at the least input that reaches it through all of
        // them, found from the last blend applied back to the first.
        const int32_t lo = applySamples(steps.step(0, luminance), steps);
        const int32_t hi = applySamples(steps.step(255, luminance), steps);
        static_assert(kSampleBlends >= 6 && kStepCapacity >= 10, "seven blends leave up to 9 values");
        int32_t kept = 0;
        int32_t previous = -1;
        for (int32_t w = lo; w <= hi; ++w) {
            uint8_t reach = static_cast<uint8_t>(w);
            for (int j = 0; j < sampleCount; ++j)
                reach = static_cast<uint8_t>(steps.leastReaching(samples[j], reach)); // reachable: w <= hi
            const int32_t first = steps.leastReaching(luminance, reach);
            const int32_t slot = kept - (first == previous ? 1 : 0);
            start[slot] = static_cast<uint8_t>(first);
            value[slot] = static_cast<uint8_t>(w);
            kept = slot + 1;
            previous = first;
        }
        count = static_cast<uint8_t>(kept);
        kind = Steps;
        return;
    }
    // Segment i now starts at the least input whose blend reaches start[i];
    // segments that become empty or unreachable drop out. In place: the
    // write position never passes the read position. A segment that starts
    // where the one before it now starts replaces it, without a branch: the
    // outcome varies from segment to segment.
    int32_t kept = 0;
    int32_t previous = -1;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t first = steps.leastReaching(luminance, start[i]);
        if (first > 255) break;
        const int32_t slot = kept - (first == previous ? 1 : 0);
        start[slot] = static_cast<uint8_t>(first);
        value[slot] = value[i];
        kept = slot + 1;
        previous = first;
    }
    count = static_cast<uint8_t>(kept);
}

void OutOfFocus::prepare(int32_t width, int64_t displacement) {
    steps_ = &SmearSteps::get();
    displacement_ = displacement;
    slotCount_ = 0;
    // Every displacement that leaves room for a row's chains uses them: their
    // first blends are applied one by one anyway.
    if (displacement > kChainCapacity || width <= 0) return;
    slotCount_ = kChainCapacity / displacement;
    for (int64_t i = 0; i < slotCount_; ++i) rows_[i] = SmearRow{-1, 0, 0, chains_ + i * displacement};
}

void OutOfFocus::smearRow(uint8_t *grey, const uint8_t *luminance, int64_t end) {
    const SmearSteps &steps = *steps_;
    const int64_t d = displacement_;
    // With few samples a column (at most about as many as a chain takes to
    // pay for its composing), they are blended one by one: the columns do
    // not wait for each other.
    if (d > kChainCapacity || (end - 1) / d <= kFewSamples) {
        // Columns x - d, x - 2d, ... down to d + 1: (x - d - 1) / d samples.
        // Four neighbours with as many samples are blended side by side.
        int64_t x = 2 * d + 1;
        for (; x + 3 < end; ++x) {
            const int64_t samples = (x - d - 1) / d;
            if ((x + 3 - d - 1) / d != samples) {
                uint8_t v = grey[x];
                for (int64_t k = x - d; k > d; k -= d) v = steps.step(v, luminance[k]);
                grey[x] = v;
                continue;
            }
            uint8_t v0 = grey[x], v1 = grey[x + 1], v2 = grey[x + 2], v3 = grey[x + 3];
            for (int64_t k = x - d, n = 0; n < samples; k -= d, ++n) {
                v0 = steps.step(v0, luminance[k]);
                v1 = steps.step(v1, luminance[k + 1]);
                v2 = steps.step(v2, luminance[k + 2]);
                v3 = steps.step(v3, luminance[k + 3]);
            }
            grey[x] = v0;
            grey[x + 1] = v1;
            grey[x + 2] = v2;
            grey[x + 3] = v3;
            x += 3;
        }
        for (; x < end; ++x) {
            uint8_t v = grey[x];
            for (int64_t k = x - d; k > d; k -= d) v = steps.step(v, luminance[k]);
            grey[x] = v;
        }
        return;
    }
    int64_t columnClass = 0; // x modulo d
    for (int64_t x = 0; x < end; ++x) {
        SmearChain &chain = chains_[columnClass];
        if (++columnClass == d) columnClass = 0;
        if (x <= 2 * d) {
            chain.clear(); // no sample lies at column d or less
            continue;
        }
        if (chain.kind == SmearChain::Steps && chain.count == 1) {
            grey[x] = chain.value[0];
            continue;
        }
        chain.extend(luminance[x - d], steps);
        grey[x] = chain.apply(grey[x], steps);
    }
}
