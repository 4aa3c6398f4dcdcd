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

// Grain sizes below 1 count as the table's least grain size, 1.
inline int64_t grainWidthOf(const MixerInstance &instance) {
    return std::max(instance.grainWidth, settingOf(&MixerInstance::grainWidth).facts.minimum);
}
inline int64_t grainHeightOf(const MixerInstance &instance) {
    return std::max(instance.grainHeight, settingOf(&MixerInstance::grainHeight).facts.minimum);
}

// The visits of source row y, one a pixel, written to targetRow: the first
// visit computes the row (see BlockRowResults); a later visit handed the
// same rows finds its colours three bytes a column on from the first's.
template <class Rule, class GetLine, class SetRGB, class SetAlpha>
void visitRow(GetLine getLine, SetRGB setRGB, SetAlpha setAlpha, Rule &rule, int64_t y, int64_t width,
              int32_t targetRow) {
    const int32_t row = static_cast<int32_t>(y);
    // Any visit: its colours from the rule, if the host supplied its rows.
    auto visit = [&](int64_t x, const uint8_t *red, const uint8_t *green, const uint8_t *blue,
                     const uint8_t *alpha) -> const uint8_t * {
        if (red == nullptr || green == nullptr || blue == nullptr || alpha == nullptr) return nullptr;
        const uint8_t *colours = rule.visit(x, y, x, x + 1, red, green, blue);
        setRGB(static_cast<int32_t>(x), targetRow, colours);
        setAlpha(static_cast<int32_t>(x), targetRow, alpha[x]);
        return colours;
    };
    if (width <= 0) return;
    const uint8_t *const firstRed = getLine(RTYPE_RED, row);
    const uint8_t *const firstGreen = getLine(RTYPE_GREEN, row);
    const uint8_t *const firstBlue = getLine(RTYPE_BLUE, row);
    const uint8_t *const firstColours = visit(0, firstRed, firstGreen, firstBlue, getLine(RTYPE_ALPHA, row));
    if (firstColours == nullptr) {
        for (int64_t x = 1; x < width; ++x) {
            const uint8_t *red = getLine(RTYPE_RED, row);
            const uint8_t *green = getLine(RTYPE_GREEN, row);
            const uint8_t *blue = getLine(RTYPE_BLUE, row);
            visit(x, red, green, blue, getLine(RTYPE_ALPHA, row));
        }
        return;
    }
    // Each fetch is compared with the first visit's as it comes: while they
    // match, nothing but the column is kept across the calls.
    for (int64_t x = 1; x < width; ++x) {
        const uint8_t *red = getLine(RTYPE_RED, row);
        if (red == firstRed) [[likely]] {
            const uint8_t *green = getLine(RTYPE_GREEN, row);
            if (green == firstGreen) [[likely]] {
                const uint8_t *blue = getLine(RTYPE_BLUE, row);
                if (blue == firstBlue) [[likely]] {
                    const uint8_t *alpha = getLine(RTYPE_ALPHA, row);
                    if (alpha == nullptr) continue; // not supplied: not written
                    setRGB(static_cast<int32_t>(x), targetRow, firstColours + 3 * x);
                    setAlpha(static_cast<int32_t>(x), targetRow, alpha[x]);
                    continue;
                }
                visit(x, red, green, blue, getLine(RTYPE_ALPHA, row));
                continue;
            }
            const uint8_t *blue = getLine(RTYPE_BLUE, row);
            visit(x, red, green, blue, getLine(RTYPE_ALPHA, row));
            continue;
        }
        const uint8_t *green = getLine(RTYPE_GREEN, row);
        const uint8_t *blue = getLine(RTYPE_BLUE, row);
        visit(x, red, green, blue, getLine(RTYPE_ALPHA, row));
    }
}

// The walk of a block row rule over blocks of one pixel, the default grain:
// the same calls, draws and writes as walkBlocks, in a loop of its own that
// keeps the row's first visit in registers (see BlockRowResults): with one
// pixel a block, the general loop's bookkeeping costs about as much as the
// look itself.
template <class Rule>
void walkPixelBlocks(const FrameAccess &access, FrameState &frame, Rule &rule, bool jumps, HeldRandom &random) {
    const int64_t width = frame.width;
    const int64_t height = frame.height;
    const auto getLine = access.getLine;
    const auto setRGB = access.setRGB;
    const auto setAlpha = access.setAlpha;
    ProgressMonitor *const monitor = access.monitor;
    for (int64_t y = 0; y < height; ++y) {
        rule.beginBlockRow(y, y + 1, random);
        const int32_t row = static_cast<int32_t>(y);
        // The row's first visit sets the jump flag (see walkBlocks).
        if (jumps && y > 3 && width > 0) frame.jumpFlag = true;
        const int64_t target = frame.jumpFlag ? y - 4 : y;
        // Rows that land above the frame are fetched and not written.
        if (target < 0) {
            for (int64_t x = 0; x < width; ++x)
                for (int32_t type = RTYPE_RED; type <= RTYPE_ALPHA; ++type) getLine(type, row);
        } else {
            visitRow(getLine, setRGB, setAlpha, rule, y, width, static_cast<int32_t>(target));
        }
        if (y % 10 == 0 && monitor != nullptr && monitor->step != nullptr) monitor->step(monitor->data, 10);
    }
}

// Block and pixel counters are 64-bit: frames too large for 16-bit counters
// are walked to their edge, and the pass always ends.
//
// A rule either computes pixel by pixel as the walk visits them, or is
// handed whole block rows (Rule::kByBlockRow).
//
// A pixel rule provides grainOf(drawn) (the block's grain value from its
// first draw), beginBlock(BlockValues, x0, xEnd) for a block of columns
// x0..xEnd-1, beginRow(y, red, green, blue) for the visit of one of its
// rows, pixel(x, colourOut, random), called for the block's columns in
// order, which draws from the walk's generator if it draws, and skipRow(x0,
// xEnd, random), which makes the draws of a row it cannot compute; a rule that
// needs the jump flag reads it from the frame's record, which the walk sets
// before each row.
//
// A block row rule makes every draw of a block row in beginBlockRow(y0,
// yEnd, random), and visit(block, y, x0, xEnd, red, green, blue) gives the
// colours of the visited columns, three bytes a pixel; it is not asked for
// rows the host cannot supply or that land above the frame.
template <class Rule>
void walkBlocks(const MixerInstance &instance, const FrameAccess &access, FrameState &frame, Rule &rule) {
    const int64_t width = frame.width;
    const int64_t height = frame.height;
    const int64_t grainWidth = grainWidthOf(instance);
    const int64_t grainHeight = grainHeightOf(instance);
    const auto getLine = access.getLine;
    const auto setRGB = access.setRGB;
    const auto setAlpha = access.setAlpha;
    ProgressMonitor *const monitor = access.monitor;
    const bool jumps = jumpsThisFrame(instance, frame);
    constexpr bool byBlockRow = requires { Rule::kByBlockRow; };
    HeldRandom random;
    if constexpr (byBlockRow) {
        if (grainWidth == 1 && grainHeight == 1) {
            walkPixelBlocks(access, frame, rule, jumps, random);
            return;
        }
    }

    for (int64_t y0 = 0; y0 < height; y0 += grainHeight) {
        const int64_t yEnd = std::min(y0 + grainHeight, height);
        if constexpr (byBlockRow) rule.beginBlockRow(y0, yEnd, random);
        int64_t blockIndex = 0;
        for (int64_t x0 = 0; x0 < width; x0 += grainWidth, ++blockIndex) {
            const int64_t xEnd = std::min(x0 + grainWidth, width);
            if constexpr (!byBlockRow) {
                BlockValues block;
                block.grainValue = static_cast<uint16_t>(rule.grainOf(halveWhileAbove(random.next(), 255)));
                block.dustRoll = static_cast<uint16_t>(halveWhileAbove(random.next(), 300));
                rule.beginBlock(block, x0, xEnd);
            }
            for (int64_t y = y0; y < yEnd; ++y) {
                const int32_t row = static_cast<int32_t>(y);
                const uint8_t *red = getLine(RTYPE_RED, row);
                const uint8_t *green = getLine(RTYPE_GREEN, row);
                const uint8_t *blue = getLine(RTYPE_BLUE, row);
                const uint8_t *alpha = getLine(RTYPE_ALPHA, row);
                // The sprocket jump happens at the first row visit below row 3.
                if (jumps && y > 3) frame.jumpFlag = true;
                // After a jump the row lands four rows higher; rows that would
                // land above the frame are computed but not written.
                const int64_t target = frame.jumpFlag ? y - 4 : y;
                const int32_t targetRow = static_cast<int32_t>(target);
                // A row the host cannot supply is left as it is; its draws
                // are made all the same, so the rest of the frame is unchanged.
                const bool supplied = red != nullptr && green != nullptr && blue != nullptr && alpha != nullptr;

                if constexpr (byBlockRow) {
                    if (!supplied || target < 0) continue;
                    const uint8_t *colours = rule.visit(blockIndex, y, x0, xEnd, red, green, blue);
                    for (int64_t x = x0; x < xEnd; ++x, colours += 3) {
                        const int32_t column = static_cast<int32_t>(x);
                        setRGB(column, targetRow, colours);
                        setAlpha(column, targetRow, alpha[x]);
                    }
                } else {
                    if (!supplied) {
                        rule.skipRow(x0, xEnd, random);
                        continue;
                    }
                    rule.beginRow(y, red, green, blue);
                    uint8_t colour[3];
                    if (target < 0) {
                        for (int64_t x = x0; x < xEnd; ++x) rule.pixel(x, colour, random);
                        continue;
                    }
                    for (int64_t x = x0; x < xEnd; ++x) {
                        rule.pixel(x, colour, random);
                        const int32_t column = static_cast<int32_t>(x);
                        setRGB(column, targetRow, colour);
                        setAlpha(column, targetRow, alpha[x]);
                    }
                }
            }
        }
        if (y0 % 10 == 0 && monitor != nullptr && monitor->step != nullptr) monitor->step(monitor->data, 10);
    }
}

#endif
