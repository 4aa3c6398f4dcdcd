#include "process/simple_rows.h"

#include <algorithm>

#include "process/block_walk.h"

SimpleRows::SimpleRows(const SimpleLook &look, bool drawsGrains, const MixerInstance &instance,
                       const FrameState &frame, BlockRowBuffers &buffers)
    : look_(look), buffers_(buffers), drawsGrains_(drawsGrains), width_(frame.width),
      grainWidth_(grainWidthOf(instance)), results_(buffers_, width_) {}

void SimpleRows::beginBlockRow(int64_t y0, int64_t yEnd, HeldRandom &random) {
    y0_ = y0;
    results_.begin(yEnd - y0);
    const int64_t blocks = (width_ + grainWidth_ - 1) / grainWidth_;
    if (drawsGrains_) {
        uint8_t *const grains = buffers_.grains;
        if (grainWidth_ == 1) {
            forEachDrawPair(random.state(), blocks, [grains](int64_t block, uint32_t grainDraw, uint32_t) {
                grains[block] = static_cast<uint8_t>(leadingBits<8>(grainDraw));
            });
        } else {
            const int64_t grainWidth = grainWidth_;
            const int64_t width = width_;
            forEachDrawPair(random.state(), blocks, [grains, grainWidth, width](int64_t block, uint32_t grainDraw, uint32_t) {
                std::fill(grains + block * grainWidth, grains + std::min((block + 1) * grainWidth, width),
                          static_cast<uint8_t>(leadingBits<8>(grainDraw)));
            });
        }
    }
    random.skip(static_cast<uint64_t>(2 * blocks));
}
