#include "process/blend_table.h"

#include <cmath>
#include <cstring>

#include "process/mix_channel.h"

void fillBlendRow(uint8_t row[256], int32_t target, double amount) {
    if (mixSumIsFinite(amount)) {
        for (int32_t from = 0; from < 256; ++from)
            row[from] = static_cast<uint8_t>(mixChannelOfModerate(from, target, amount));
    } else {
        for (int32_t from = 0; from < 256; ++from) row[from] = static_cast<uint8_t>(mixChannel(from, target, amount));
    }
}

void BlendTable::reset(double amount) {
    amount_ = amount;
    std::memset(filled_, 0, sizeof filled_);
}

void BlendTable::fill(uint8_t to) {
    fillBlendRow(rows_[to], to, amount_);
    filled_[to] = true;
}
