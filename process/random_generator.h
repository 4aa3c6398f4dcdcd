// The module's own pseudo-random generator: one unsigned 32-bit state shared
// by every instance and every frame, 1 when the module is loaded.
#ifndef KIVO_PROCESS_RANDOM_GENERATOR_H
#define KIVO_PROCESS_RANDOM_GENERATOR_H

#include <cstdint>

// Only seedRandom and nextRandom change it.
extern uint32_t gRandomState;

inline void seedRandom(uint32_t seed) { gRandomState = seed; }

// Linear congruential step; returns bits 16..30 of the new state (0..32767).
inline uint32_t nextRandom() {
    gRandomState = gRandomState * 214013u + 2531011u;
    return (gRandomState >> 16) & 0x7FFFu;
}

// Halves value until it is at most limit.
inline uint32_t halveWhileAbove(uint32_t value, uint32_t limit) {
    while (value > limit) value /= 2;
    return value;
}

#endif
