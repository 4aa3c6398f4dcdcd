#include "process/cosine.h"

#include <cmath>
#include <cstdint>

// 32-bit x86 builds must do double arithmetic in SSE2 registers
// (-msse2 -mfpmath=sse): x87 extended precision changes the module's results.
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "double arithmetic in extended precision: build with -msse2 -mfpmath=sse"
#endif

// Arithmetic on unevaluated sums hi + lo of two doubles ("double-double"),
// built from exact sums and products of doubles. It needs every operation
// rounded once to double: no fused multiply-add, no x87 extended precision.
namespace {

struct Pair {
    double hi;
    double lo;
};

// a + b exactly, as the rounded sum and its error.
Pair twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly when |a| >= |b|.
Pair quickTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker's product, by halves of 26 and 27 bits).
Pair twoProduct(double a, double b) {
    constexpr double kSplit = 134217729.0; // 2^27 + 1
    const double p = a * b;
    const double ta = kSplit * a, tb = kSplit * b;
    const double ah = ta - (ta - a), bh = tb - (tb - b);
    const double al = a - ah, bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

Pair add(Pair a, Pair b) {
    const Pair s = twoSum(a.hi, b.hi);
    return quickTwoSum(s.hi, s.lo + a.lo + b.lo);
}

Pair multiply(Pair a, Pair b) {
    const Pair p = twoProduct(a.hi, b.hi);
    return quickTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// 1/n! as double-doubles (hi, lo), n = 0..31.
constexpr Pair kInverseFactorial[32] = {
    {0x1.0p+0, 0.0},
    {0x1.0p+0, 0.0},
    {0x1.0p-1, 0.0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {0x1.93974a8c07c9dp-37, 0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-41, 0x1.1d8656b0ee8cbp-97},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {0x1.6827863b97d97p-53, 0x1.eec01221a8b0bp-107},
    {0x1.2f49b46814157p-57, 0x1.2650f61dbdcb4p-112},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {0x1.0ce396db7f853p-70, -0x1.aebcdbd20331cp-124},
    {0x1.761b41316381ap-75, -0x1.3423c7d91404fp-130},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {0x1.88e85fc6a4e5ap-89, -0x1.71c37ebd16540p-143},
    {0x1.d1ab1c2dccea3p-94, 0x1.054d0c78aea14p-149},
    {0x1.0a18a2635085dp-98, 0x1.b9e2e28e1aa54p-153},
    {0x1.259f98b4358adp-103, 0x1.eaf8c39dd9bc5p-157},
    {0x1.3932c5047d60ep-108, 0x1.832b7b530a627p-162},
    {0x1.434d2e783f5bcp-113, 0x1.0b87b91be9affp-167},
};

// pi/2 as P1 + P2 + P3 + P4; P1 to P3 have 33 bits, so k * Pi is exact for k < 2^20.
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// sum over j of (-1)^j z^j / (2j + offset)!, for z = r^2 <= (pi/4)^2: the terms
// from `exactTerms` on are summed in plain doubles, the first ones in
// double-doubles. `terms` terms leave out less than 2^-70 (fast) or 2^-115.
Pair series(Pair z, int offset, int terms, int exactTerms) {
    auto coefficient = [offset](int j) {
        const Pair c = kInverseFactorial[2 * j + offset];
        return (j & 1) != 0 ? Pair{-c.hi, -c.lo} : c;
    };
    double tail = 0.0;
    for (int j = terms - 1; j >= exactTerms; --j) tail = tail * z.hi + coefficient(j).hi;
    Pair sum{tail, 0.0};
    for (int j = exactTerms - 1; j >= 0; --j) sum = add(multiply(sum, z), coefficient(j));
    return sum;
}

// cos(r) (odd == false) or sin(r) for |r| <= pi/4 + a little.
Pair reducedValue(Pair r, bool odd, bool precise) {
    const Pair z = multiply(r, r);
    const int terms = precise ? 16 : 11;
    const int exactTerms = precise ? 16 : 3;
    const Pair sum = series(z, odd ? 1 : 0, terms, exactTerms);
    return odd ? multiply(sum, r) : sum;
}

// The double nearest to hi + lo when the exact value is within `bound` of it
// and that interval rounds one way only; NaN when the rounding is not sure.
double roundedIfSure(Pair value, double bound) {
    const double low = value.hi + (value.lo - bound);
    const double high = value.hi + (value.lo + bound);
    return low == high ? low : NAN;
}

} // namespace

double roundedCosine(double angle) {
    if (!std::isfinite(angle)) return angle - angle; // NaN
    const double a = std::fabs(angle);
    if (a > 0x1.0p19) return std::cos(angle); // beyond the exact reduction; never used

    // a = k * pi/2 + r, |r| <= pi/4: a - k * P1 is exact (both are within a
    // factor of two), the rest is subtracted in double-doubles.
    const double k = std::floor(a * kTwoOverPi + 0.5);
    Pair r = twoSum(a - k * kHalfPi1, -k * kHalfPi2);
    r = add(r, Pair{-k * kHalfPi3, 0.0});
    r = add(r, Pair{-k * kHalfPi4, 0.0});

    const int quadrant = static_cast<int>(static_cast<int64_t>(k) & 3);
    const bool odd = (quadrant & 1) != 0;
    const bool negate = quadrant == 1 || quadrant == 2;

    // A fast evaluation, good to about 2^-62 relative, decides the rounding
    // nearly always; the rest takes the precise one (about 2^-105).
    Pair value = reducedValue(r, odd, false);
    double result = roundedIfSure(value, std::fabs(value.hi) * 0x1.0p-60 + 0x1.0p-108);
    if (std::isnan(result)) {
        value = reducedValue(r, odd, true);
        result = value.hi + value.lo;
    }
    return negate ? -result : result;
}
