// The blend every look is built on: (1 - amount) * from + to * amount in
// double precision, truncated toward zero and bounded to 0..255.
#ifndef KIVO_PROCESS_MIX_CHANNEL_H
#define KIVO_PROCESS_MIX_CHANNEL_H

#include <algorithm>
#include <cmath>
#include <cstdint>

// Result for a sum that is not a number (non-finite amount).
int32_t mixChannelOfNaN(int32_t from, int32_t to, double amount);

inline int32_t mixChannel(int32_t from, int32_t to, double amount) {
    const double kept = (1.0 - amount) * from;
    const double added = to * amount;
    const double sum = kept + added;
    // Bounding the double before converting gives the truncated, clamped
    // value for every finite sum, also far outside the 32-bit range.
    if (sum >= 255.0) return 255;
    if (sum > 0.0) return static_cast<int32_t>(sum);
    if (sum <= 0.0) return 0;
    return mixChannelOfNaN(from, to, amount);
}

// Amounts for which every sum of 32-bit from and to is finite.
inline bool mixSumIsFinite(double amount) { return std::fabs(amount) <= 0x1p52; }

// mixChannel without branches, for an amount with mixSumIsFinite: bounding
// the finite sum in double precision and then truncating gives the same value.
inline int32_t mixChannelOfModerate(int32_t from, int32_t to, double amount) {
    const double kept = (1.0 - amount) * from;
    const double added = to * amount;
    const double sum = kept + added;
    return static_cast<int32_t>(std::min(std::max(sum, 0.0), 255.0));
}

#endif
