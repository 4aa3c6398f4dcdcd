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
