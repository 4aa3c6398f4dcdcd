#include "process/frame_pass.h"

#include "instance/mixer_instance.h"
#include "process/block_walk.h"
#include "process/fade_amount.h"
#include "process/film_pixel.h"
#include "process/film_rows.h"
#include "process/frame_state.h"
#include "process/frame_tables.h"
#include "process/random_generator.h"
#include "process/simple_looks.h"
#include "process/simple_rows.h"

namespace {

class SimpleRule {
public:
    explicit SimpleRule(SimpleLook &look) : look_(look) {}
    // The block's grain is its drawn value as it is.
    static uint32_t grainOf(uint32_t drawn) { return drawn; }
    void beginBlock(BlockValues block, int64_t, int64_t) { look_.beginBlock(block); }
    void beginRow(int64_t, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
        red_ = red;
        green_ = green;
        blue_ = blue;
    }
    void pixel(int64_t x, uint8_t colourOut[3], HeldRandom &) const {
        look_.pixel(red_[x], green_[x], blue_[x], colourOut);
    }
    static void skipRow(int64_t, int64_t, HeldRandom &) {}

private:
    SimpleLook &look_;
    const uint8_t *red_ = nullptr;
    const uint8_t *green_ = nullptr;
    const uint8_t *blue_ = nullptr;
};

// A host that hands over no row fetch or no write callbacks gets its monitor
// calls but no traversal.
bool canWalk(const FrameAccess &access) {
    return access.getLine != nullptr && access.setRGB != nullptr && access.setAlpha != nullptr;
}

} // namespace

void processFrame(void *instancePointer, const FrameAccess *access, const ItemInfoService *itemInfo) {
    if (instancePointer == nullptr || access == nullptr) return;
    const MixerInstance &instance = *static_cast<const MixerInstance *>(instancePointer);
    const Look look = lookOf(instance.effect);

    FrameState frame;
    frame.width = access->width;
    frame.height = access->height;
    measureFrame(frame);

    // Unseeded: these continue from whatever the previous frame left.
    for (uint32_t &jitter : frame.scratchJitter) jitter = halveWhileAbove(nextRandom(), 16);
    frame.fadeAmount = computeFadeAmount(instance, *access, itemInfo);
    seedRandom(static_cast<uint32_t>(access->frame));
    frame.flickerValue = static_cast<uint16_t>(halveWhileAbove(nextRandom(), 24));
    frame.jumpRoll = static_cast<int32_t>(halveWhileAbove(nextRandom(), 16));

    ProgressMonitor *const monitor = access->monitor;
    if (monitor != nullptr && monitor->init != nullptr) monitor->init(monitor->data, frame.height);
    frame.jumpFlag = false;

    if (canWalk(*access)) {
        FrameTables &tables = FrameTables::forModule();
        tables.blend.reset(frame.fadeAmount);
        if (look == Look::Film && FilmRows::fits(frame.width)) {
            FilmRows rule(instance, frame, tables);
            walkBlocks(instance, *access, frame, rule);
        } else if (look == Look::Film) {
            FilmRule rule(instance, frame, tables);
            walkBlocks(instance, *access, frame, rule);
        } else {
            SimpleLook simple;
            simple.prepare(look, instance, frame.fadeAmount, tables.blend);
            if (SimpleRows::fits(frame.width)) {
                SimpleRows rule(simple, look == Look::Static, instance, frame, tables.blockRows);
                walkBlocks(instance, *access, frame, rule);
            } else {
                SimpleRule rule(simple);
                walkBlocks(instance, *access, frame, rule);
            }
        }
    }

    if (monitor != nullptr && monitor->done != nullptr) monitor->done(monitor->data);
}
