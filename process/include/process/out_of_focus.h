// The film look's out-of-focus smear: a film value is blended by 0.4 with
// the smear luminance of the source pixels d, 2d, ... columns to its left,
// nearest first, down to column d + 1.
//
// Done sample by sample that costs x / d blends per pixel. Each blend is a
// non-decreasing map of 0..255, and the chain of column x + d is the chain
// of column x after one more blend (with the sample at x) applied first. So
// while a row is visited left to right, each of the d column classes keeps
// its chain: its first few blends one by one, then composed into one
// non-decreasing step function, which stays short because every blend
// narrows its range, and which once it has one value keeps it. The results
// are the same bytes as blending sample by sample.
#ifndef KIVO_PROCESS_OUT_OF_FOCUS_H
#define KIVO_PROCESS_OUT_OF_FOCUS_H

#include <cstdint>

#include "process/luminance.h"

// mixChannel(v, luminance, 0.4) for v and luminance in 0..255, and for
// each luminance the least v whose blend reaches a given value.
class SmearSteps {
public:
    uint8_t step(uint8_t v, int32_t luminance) const { return results_[luminance][v]; }
    // The least v with step(v, luminance) >= at least, or 256 when none.
    uint16_t leastReaching(int32_t luminance, uint8_t atLeast) const { return least_[luminance][atLeast]; }
    // Filled on the first call; the amount never changes.
    static const SmearSteps &get();

private:
    uint8_t results_[256][256];
    uint16_t least_[256][256];
};

// v smeared at column x of a row, sample by sample; d is at least 1.
inline uint8_t smearDirect(uint8_t v, const uint8_t *red, const uint8_t *green, const uint8_t *blue, int64_t x,
                           int64_t d, const SmearSteps &steps) {
    for (int64_t k = x - d; k > d; k -= d) v = steps.step(v, smearLuminance(red[k], green[k], blue[k]));
    return v;
}

// The blends met so far by one column class. The first few are kept as
// their luminances and applied one by one; with one more they are composed
// into a non-decreasing step function of 0..255 (input start[i] and above
// give value[i]), which each later blend extends. Composed that late the
// function is short: each blend maps inputs w apart to outputs at most
// 0.6 w + 1 apart, so ten blends leave at most 4 values of 256. A chain
// fits one cache line.
struct alignas(64) SmearChain {
    static constexpr int kSampleBlends = 9;
    static constexpr int kStepCapacity = 24;
    enum Kind : uint8_t { Samples, Steps };
    Kind kind = Samples;
    uint8_t sampleCount = 0;
    uint8_t samples[kSampleBlends]; // luminances, the first met (applied last) first
    uint8_t count = 0;              // segments of Steps
    uint8_t start[kStepCapacity];
    uint8_t value[kStepCapacity];

    // No blends.
    void clear() {
        kind = Samples;
        sampleCount = 0;
    }

    uint8_t apply(uint8_t v, const SmearSteps &steps) const {
        if (kind == Samples) return applySamples(v, steps);
        // The last segment that starts at or below v (start[0] is 0), by a
        // binary search whose steps are selects, not branches.
        const uint8_t *base = start;
        for (int n = count; n > 1;) {
            const int half = n / 2;
            base = base[half] <= v ? base + half : base;
            n -= half;
        }
        return value[base - start];
    }
    // This chain after one more blend, with luminance, applied first.
    void extend(int32_t luminance, const SmearSteps &steps) {
        if (kind == Samples && sampleCount < kSampleBlends) {
            samples[sampleCount++] = static_cast<uint8_t>(luminance);
            return;
        }
        compose(luminance, steps);
    }

private:
    // extend, once the blends are composed or are about to be.
    void compose(int32_t luminance, const SmearSteps &steps);

    uint8_t applySamples(uint8_t v, const SmearSteps &steps) const {
        for (int j = sampleCount - 1; j >= 0; --j) v = steps.step(v, samples[j]);
        return v;
    }
};
static_assert(sizeof(SmearChain) == 64);

// Where the chains of one source row have got to.
struct SmearRow {
    int64_t y = -1;       // the row whose chains are held; -1: none
    int64_t nextX = 0;    // the column they are ready for
    int64_t nextClass = 0; // nextX modulo d
    SmearChain *chains = nullptr;
};

class OutOfFocus {
public:
    // For a frame of this width; displacement is at least 1.
    void prepare(int32_t width, int64_t displacement);

    // The chains that source row y may use, or null when the frame smears
    // sample by sample. Rows that share a slot take it over at column 0;
    // a row that lost its slot, or whose columns are not visited in order,
    // is smeared sample by sample.
    SmearRow *rowSlot(int64_t y) { return slotCount_ == 0 ? nullptr : &rows_[y % slotCount_]; }

    uint8_t smear(uint8_t v, SmearRow *slot, int64_t y, const uint8_t *red, const uint8_t *green,
                  const uint8_t *blue, int64_t x) {
        if (slot != nullptr) {
            if (x == 0) *slot = SmearRow{y, 0, 0, slot->chains};
            if (slot->y == y && slot->nextX == x) return smearInOrder(v, *slot, red, green, blue, x);
        }
        return smearDirect(v, red, green, blue, x, displacement_, *steps_);
    }

    // Smears the film values grey[0..end-1] of one row, left to right, with
    // the smear luminances of the row's source pixels: every column class's
    // chain at once, started afresh.
    void smearRow(uint8_t *grey, const uint8_t *luminance, int64_t end);

    // Rows whose columns have at most this many samples each are smeared
    // sample by sample by smearRow (measured with frame_pass_bench).
    static constexpr int64_t kFewSamples = 20;

    // Room for the chains of 4096 column classes over all slots (256 KiB).
    static constexpr int64_t kChainCapacity = 4096;

private:
    uint8_t smearInOrder(uint8_t v, SmearRow &slot, const uint8_t *red, const uint8_t *green, const uint8_t *blue,
                         int64_t x);

    const SmearSteps *steps_ = nullptr;
    int64_t displacement_ = 1;
    int64_t slotCount_ = 0;
    SmearRow rows_[kChainCapacity];
    SmearChain chains_[kChainCapacity];
};

inline uint8_t OutOfFocus::smearInOrder(uint8_t v, SmearRow &slot, const uint8_t *red, const uint8_t *green,
                                        const uint8_t *blue, int64_t x) {
    SmearChain &chain = slot.chains[slot.nextClass];
    slot.nextX = x + 1;
    if (++slot.nextClass == displacement_) slot.nextClass = 0;
    const int64_t d = displacement_;
    if (x <= 2 * d) {
        chain.clear(); // no sample lies at column d or less
        return v;
    }
    // A chain that has become one value keeps it: the blends applied before
    // it no longer matter.
    if (chain.kind == SmearChain::Steps && chain.count == 1) return chain.value[0];
    const int64_t k = x - d;
    chain.extend(smearLuminance(red[k], green[k], blue[k]), *steps_);
    return chain.apply(v, *steps_);
}

#endif
