// A plain, table-free rendering of the filter, written directly from the
// formulas, to check the module's fast frame pass against: one generator
// draw, one mix and one host call at a time, in order.
#ifndef KIVO_TESTS_PROCESS_REFERENCE_FILTER_H
#define KIVO_TESTS_PROCESS_REFERENCE_FILTER_H

#include <cstdint>
#include <vector>

#include "host/core/frame_runner.h"
#include "host/core/rgba_image.h"
#include "tests/support/recorded_frame.h"
#include "instance/mixer_instance.h"

namespace reference {

struct Generator {
    uint32_t state = 1; // as at module load
    uint32_t next() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    }
};

uint32_t halve(uint32_t value, uint32_t limit);

// (1 - amount) * from + to * amount, truncated, clamped; for sums in int range.
int mix(int from, int to, double amount);

// The vignette's blend amount at offset (X, Y) from the centre of a frame W
// pixels wide: 1 - max(0, cos(distance x 3.1416 / W)), with the cosine given.
double vignetteAmount(int X, int Y, int W, double (*cosine)(double));

// The fade amount from the control item's vector at the frame's time.
double fade(const MixerInstance &m, const double vector[3]);

// Renders one frame as the host would receive it: output starts black and
// transparent, and every host call is appended to calls when given.
void renderFrame(const MixerInstance &m, const kivo::host::RgbaImage &source, int32_t frameNumber,
                 double fadeAmount, Generator &generator, kivo::host::RgbaImage &output,
                 std::vector<kivo::test::HostCall> *calls = nullptr);

// FNV-1a (64-bit) of an image's bytes.
uint64_t checksum(const kivo::host::RgbaImage &image);

// A deterministic test picture: gradients, a few flat patches and noise.
kivo::host::RgbaImage testPicture(int32_t width, int32_t height, uint32_t seed = 7);

} // namespace reference

#endif
