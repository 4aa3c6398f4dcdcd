#include "host/media/png_filter.h"

#include <cstdlib>
#include <cstring>

#include "host/core/pixel_clones.h"

namespace kivo::media {
namespace {

enum FilterType : uint8_t { kNone, kSub, kUp, kAverage, kPaeth };

// A filtered byte's magnitude read as a signed number, computed in 8 bits,
// which the vectorizer keeps a byte a lane.
inline uint8_t magnitude(uint8_t value) { return value < 128 ? value : static_cast<uint8_t>(-value); }

// The unfiltered bytes' distances from their mean, added up. The
// compressor sees the spread of the values wherever they lie; read as
// signed numbers, the samples of a mid-grey row would count at their
// largest, and grainy rows took a filter that left them larger.
inline uint32_t spread(const uint8_t *__restrict row, size_t n) {
    uint32_t total = 0;
    for (size_t i = 0; i < n; ++i) total += row[i];
    const auto mean = static_cast<uint8_t>(total / n);
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<uint8_t>(row[i] > mean ? row[i] - mean : mean - row[i]);
    return sum;
}

// Each filter writes its bytes to out and returns their magnitudes' sum. The
// pixel to the left is B bytes back, zero before the first pixel; `above`
// is never null. The loops are written so that the vectorizer takes them
// whole.
template <size_t B>
[[gnu::always_inline]] inline uint32_t sub(const uint8_t *__restrict row, size_t n, uint8_t *__restrict out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < B; ++i) sum += magnitude(out[i] = row[i]);
    for (size_t i = B; i < n; ++i) sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - row[i - B]));
    return sum;
}

[[gnu::always_inline]] inline uint32_t up(const uint8_t *__restrict row, const uint8_t *__restrict above, size_t n,
                                         uint8_t *__restrict out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - above[i]));
    return sum;
}

template <size_t B>
[[gnu::always_inline]] inline uint32_t average(const uint8_t *__restrict row, const uint8_t *__restrict above,
                                              size_t n, uint8_t *__restrict out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < B; ++i) sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - (above[i] >> 1)));
    for (size_t i = B; i < n; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - ((row[i - B] + above[i]) >> 1)));
    return sum;
}

// The Paeth predictor in 16-bit arithmetic, which the vectorizer keeps
// eight or sixteen lanes wide.
[[gnu::always_inline]] inline uint8_t paethPredictor(int16_t a, int16_t b, int16_t c) {
    const auto up = static_cast<int16_t>(b - c), left = static_cast<int16_t>(a - c);
    const auto pa = static_cast<int16_t>(std::abs(up)), pb = static_cast<int16_t>(std::abs(left));
    const auto pc = static_cast<int16_t>(std::abs(up + left));
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

template <size_t B>
[[gnu::always_inline]] inline uint32_t paeth(const uint8_t *__restrict row, const uint8_t *__restrict above,
                                            size_t n, uint8_t *__restrict out) {
    uint32_t sum = 0;
    // Before the first pixel a and c are zero: the predictor is b.
    for (size_t i = 0; i < B; ++i) sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - above[i]));
    for (size_t i = B; i < n; ++i)
        sum += magnitude(out[i] = static_cast<uint8_t>(row[i] - paethPredictor(row[i - B], above[i], above[i - B])));
    return sum;
}

template <size_t B>
[[gnu::always_inline]] inline void applyFilter(uint8_t type, const uint8_t *row, const uint8_t *above, size_t n,
                                               uint8_t *out) {
    out[0] = type;
    switch (type) {
    case kNone: std::memcpy(out + 1, row, n); return;
    case kSub: sub<B>(row, n, out + 1); return;
    case kUp: up(row, above, n, out + 1); return;
    case kAverage: average<B>(row, above, n, out + 1); return;
    default: paeth<B>(row, above, n, out + 1); return;
    }
}

template <size_t B>
[[gnu::always_inline]] inline uint8_t chooseFilter(const uint8_t *row, const uint8_t *above, size_t n, uint8_t *out,
                                                   uint8_t *scratch) {
    uint32_t least = spread(row, n);
    const uint8_t *best = row;
    uint8_t type = kNone;
    // A candidate that wins keeps its scratch row; the next one takes another.
    uint8_t *candidate = scratch;
    const auto consider = [&](uint32_t sum, FilterType filter) {
        if (sum >= least) return;
        least = sum;
        best = candidate;
        type = filter;
        candidate += n;
    };
    consider(sub<B>(row, n, candidate), kSub);
    consider(up(row, above, n, candidate), kUp);
    consider(average<B>(row, above, n, candidate), kAverage);
    consider(paeth<B>(row, above, n, candidate), kPaeth);
    out[0] = type;
    std::memcpy(out + 1, best, n);
    return type;
}

// Chooses a filter when `chosen` is negative, else applies that one; returns
// the filter's type.
template <size_t B>
[[gnu::always_inline]] inline uint8_t filterWith(const uint8_t *row, const uint8_t *above, size_t n, uint8_t *out,
                                                 uint8_t *scratch, int chosen) {
    if (chosen < 0) return chooseFilter<B>(row, above, n, out, scratch);
    applyFilter<B>(static_cast<uint8_t>(chosen), row, above, n, out);
    return static_cast<uint8_t>(chosen);
}

KIVO_PIXEL_CLONES uint8_t filterRow(const uint8_t *row, const uint8_t *above, size_t n, size_t pixelBytes,
                                    uint8_t *out, uint8_t *scratch, int chosen) {
    switch (pixelBytes) {
    case 3: return filterWith<3>(row, above, n, out, scratch, chosen);
    case 4: return filterWith<4>(row, above, n, out, scratch, chosen);
    case 6: return filterWith<6>(row, above, n, out, scratch, chosen);
    default: return filterWith<8>(row, above, n, out, scratch, chosen);
    }
}

} // namespace

// The versioned function is called from here only (see pixel_clones.h).
uint8_t filterPngRow(const uint8_t *row, const uint8_t *above, size_t n, size_t pixelBytes, uint8_t *out,
                     uint8_t *scratch) {
    return filterRow(row, above, n, pixelBytes, out, scratch, -1);
}

void applyPngFilter(uint8_t type, const uint8_t *row, const uint8_t *above, size_t n, size_t pixelBytes,
                    uint8_t *out) {
    filterRow(row, above, n, pixelBytes, out, nullptr, type);
}

} // namespace kivo::media
