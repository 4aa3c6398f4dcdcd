// mixChannel results for one frame's fade amount, by target and source
// byte. Rows are filled on first use, so a frame pays only for the targets
// it meets; every entry is exactly mixChannel(from, to, amount).
#ifndef KIVO_PROCESS_BLEND_TABLE_H
#define KIVO_PROCESS_BLEND_TABLE_H

#include <cstdint>

class BlendTable {
public:
    void reset(double amount);

    // Results for every source byte blended towards `to` (0..255).
    const uint8_t *towards(uint8_t to) {
        if (!filled_[to]) fill(to);
        return rows_[to];
    }
    uint8_t blend(uint8_t from, uint8_t to) { return towards(to)[from]; }
    // Fills every row now, for a frame that meets most targets.
    void fillAll() {
        for (int32_t to = 0; to < 256; ++to) towards(static_cast<uint8_t>(to));
    }
    // The row towards `to` once fillAll has run.
    const uint8_t *filled(uint8_t to) const { return rows_[to]; }

private:
    void fill(uint8_t to);

    double amount_ = 0.0;
    bool filled_[256] = {};
    uint8_t rows_[256][256] = {};
};

// Results of mixChannel(from, target, amount) for every source byte.
void fillBlendRow(uint8_t row[256], int32_t target, double amount);

#endif
