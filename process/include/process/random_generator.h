// The module's own pseudo-random generator: one unsigned 32-bit state shared
// by every instance and every frame, 1 when the module is loaded.
#ifndef KIVO_PROCESS_RANDOM_GENERATOR_H
#define KIVO_PROCESS_RANDOM_GENERATOR_H

#include <bit>
#include <cstdint>

// Only seedRandom, nextRandom and a HeldRandom change it.
extern uint32_t gRandomState;

inline void seedRandom(uint32_t seed) { gRandomState = seed; }

// Linear congruential step; returns bits 16..30 of the new state (0..32767).
inline uint32_t nextRandom() {
    gRandomState = gRandomState * 214013u + 2531011u;
    return (gRandomState >> 16) & 0x7FFFu;
}

// The generator taken into a local for the length of a frame's walk, so
// that its draws stay in a register; the state goes back when it ends. The
// same steps as nextRandom: nothing else may draw while one is held.
class HeldRandom {
public:
    HeldRandom() : state_(gRandomState) {}
    ~HeldRandom() { gRandomState = state_; }
    HeldRandom(const HeldRandom &) = delete;
    HeldRandom &operator=(const HeldRandom &) = delete;

    uint32_t next() {
        state_ = state_ * 214013u + 2531011u;
        return (state_ >> 16) & 0x7FFFu;
    }
    uint32_t state() const { return state_; }
    // Takes steps draws at once, their values unused.
    void skip(uint64_t steps);

private:
    uint32_t state_;
};

// The state after steps more draws from state, in log2(steps) products: the
// step x -> a x + c applied twice is x -> a^2 x + (a + 1) c.
constexpr uint32_t advanceRandom(uint32_t state, uint64_t steps) {
    uint32_t multiplier = 214013u, increment = 2531011u;
    uint32_t totalMultiplier = 1u, totalIncrement = 0u;
    for (; steps != 0; steps >>= 1) {
        if (steps & 1u) {
            totalMultiplier *= multiplier;
            totalIncrement = totalIncrement * multiplier + increment;
        }
        increment *= multiplier + 1u;
        multiplier *= multiplier;
    }
    return totalMultiplier * state + totalIncrement;
}

// The draw that the step from state gives.
constexpr uint32_t drawAfter(uint32_t state) { return ((state * 214013u + 2531011u) >> 16) & 0x7FFFu; }

inline void HeldRandom::skip(uint64_t steps) { state_ = advanceRandom(state_, steps); }

// The generator's step taken n times, as x -> multiplier x + increment.
struct RandomSteps {
    uint32_t multiplier;
    uint32_t increment;
    constexpr explicit RandomSteps(uint64_t n)
        : multiplier(advanceRandom(1, n) - advanceRandom(0, n)), increment(advanceRandom(0, n)) {}
    constexpr uint32_t from(uint32_t state) const { return multiplier * state + increment; }
};

// Calls use(i, first, second) with the two draws of each of `count` blocks
// that draw twice each, from state, which it leaves as it is; four blocks at
// a time from states apart, so that the steps do not wait for each other.
template <class Use>
void forEachDrawPair(uint32_t state, int64_t count, Use &&use) {
    constexpr RandomSteps one(1), two(2), four(4), six(6), eight(8);
    int64_t b = 0;
    for (; b + 4 <= count; b += 4, state = eight.from(state)) {
        const uint32_t states[4] = {state, two.from(state), four.from(state), six.from(state)};
        for (int i = 0; i < 4; ++i) {
            const uint32_t first = one.from(states[i]);
            use(b + i, (first >> 16) & 0x7FFFu, drawAfter(first));
        }
    }
    for (; b < count; ++b, state = two.from(state)) {
        const uint32_t first = one.from(state);
        use(b, (first >> 16) & 0x7FFFu, drawAfter(first));
    }
}

// std::bit_width of values below 1024, looked up: the halvings of a block's
// draws follow from bit lengths, and a table read is cheaper than a bit scan
// on every target.
struct SmallBitWidths {
    uint8_t of[1024] = {};
    constexpr SmallBitWidths() {
        for (uint32_t v = 0; v < 1024; ++v) of[v] = static_cast<uint8_t>(std::bit_width(v));
    }
};
inline constexpr SmallBitWidths kSmallBitWidths;

// A draw (0..32767) halved until it has at most `bits` bits (5 or more): its
// leading `bits` bits.
template <int bits>
inline uint32_t leadingBits(uint32_t draw) {
    static_assert(bits >= 5 && bits <= 15);
    return draw >> kSmallBitWidths.of[draw >> bits];
}

// Halves value (integer division) until it is at most limit. Done as one
// shift: the number of halvings follows from the bit lengths, which keeps
// the per-block draws free of unpredictable loop branches.
inline uint32_t halveWhileAbove(uint32_t value, uint32_t limit) {
    if (value <= limit) return value;
    const int shift = std::bit_width(value) - std::bit_width(limit);
    if (shift >= 32) return 0; // limit 0 and a 32-bit value
    const uint32_t halved = value >> shift; // as long as the limit, perhaps above it
    return halved >> (halved > limit ? 1 : 0);
}

#endif
