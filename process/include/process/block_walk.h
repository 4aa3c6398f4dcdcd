// The traversal of one frame in grain blocks: block rows top to bottom,
// blocks left to right, each block's draws, the four row fetches at every
// row visit, the sprocket test, and the write-back of every pixel.
#ifndef KIVO_PROCESS_BLOCK_WALK_H
#define KIVO_PROCESS_BLOCK_WALK_H

#include <algorithm>
#include <cstdint>

#include "contract/host_abi.h"
#include "instance/mixer_instance.h"
#include "instance/settings_table.h"
#include "process/frame_state.h"
#include "process/random_generator.h"

// Block and pixel counters are 64-bit: frames too large for 16-bit counters
// are walked to their edge, and the pass always ends. Grain sizes below 1
// count as the table's least grain size, 1.
//
// Rule provides grainOf(drawn) (the block's grain value from its first
// draw), beginBlock(BlockValues, x0, xEnd) for a block of columns
// x0..xEnd-1, beginRow(y, red, green, blue) for the visit of one of its
// rows, and pixel(x, colourOut, random), called for the block's columns in
// order, which draws from the walk's generator if it draws; a rule that
// needs the jump flag reads it from the frame's record, which the walk sets
// before each row.
template <class Rule>
void walkBlocks(const MixerInstance &instance, const FrameAccess &access, FrameState &frame, Rule &rule) {
    const int64_t width = frame.width;
    const int64_t height = frame.height;
    const int64_t grainWidth = std::max(instance.grainWidth, settingOf(&MixerInstance::grainWidth).facts.minimum);
    const int64_t grainHeight = std::max(instance.grainHeight, settingOf(&MixerInstance::grainHeight).facts.minimum);
    const auto getLine = access.getLine;
    const auto setRGB = access.setRGB;
    const auto setAlpha = access.setAlpha;
    ProgressMonitor *const monitor = access.monitor;
    const bool jumps = jumpsThisFrame(instance, frame);
    HeldRandom random;

    for (int64_t y0 = 0; y0 < height; y0 += grainHeight) {
        for (int64_t x0 = 0; x0 < width; x0 += grainWidth) {
            BlockValues block;
            block.grainValue = static_cast<uint16_t>(rule.grainOf(halveWhileAbove(random.next(), 255)));
            block.dustRoll = static_cast<uint16_t>(halveWhileAbove(random.next(), 300));
            const int64_t yEnd = std::min(y0 + grainHeight, height);
            const int64_t xEnd = std::min(x0 + grainWidth, width);
            rule.beginBlock(block, x0, xEnd);
            for (int64_t y = y0; y < yEnd; ++y) {
                const int32_t row = static_cast<int32_t>(y);
                const uint8_t *red = getLine(RTYPE_RED, row);
                const uint8_t *green = getLine(RTYPE_GREEN, row);
                const uint8_t *blue = getLine(RTYPE_BLUE, row);
                const uint8_t *alpha = getLine(RTYPE_ALPHA, row);
                // The sprocket jump happens at the first row visit below row 3.
                if (jumps && y > 3) frame.jumpFlag = true;
                // A row the host cannot supply is left as it is.
                if (red == nullptr || green == nullptr || blue == nullptr || alpha == nullptr) continue;

                // After a jump the row lands four rows higher; rows that would
                // land above the frame are computed but not written.
                const int64_t target = frame.jumpFlag ? y - 4 : y;
                rule.beginRow(y, red, green, blue);
                uint8_t colour[3];
                if (target < 0) {
                    for (int64_t x = x0; x < xEnd; ++x) rule.pixel(x, colour, random);
                    continue;
                }
                const int32_t targetRow = static_cast<int32_t>(target);
                for (int64_t x = x0; x < xEnd; ++x) {
                    rule.pixel(x, colour, random);
                    const int32_t column = static_cast<int32_t>(x);
                    setRGB(column, targetRow, colour);
                    setAlpha(column, targetRow, alpha[x]);
                }
            }
        }
        if (y0 % 10 == 0 && monitor != nullptr && monitor->step != nullptr) monitor->step(monitor->data, 10);
    }
}

#endif
