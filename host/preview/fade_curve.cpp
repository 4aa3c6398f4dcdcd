#include "host/preview/fade_curve.h"

#include <cmath>
#include <string_view>

#include "host/core/item_info.h"
#include "host/scene/scene_items.h"
#include "instance/setting_facts.h"

namespace kivo::preview {
namespace {

int32_t valueOf(const host::SavedSettings &saved, std::string_view name) {
    const SettingFacts *facts = findSettingFacts(name);
    return facts == nullptr ? 0 : saved[facts->storedPosition - 1].value_or(0);
}

double amountAt(const host::ItemTable &items, const FadeSettings &settings, double time) {
    if (settings.controlItem == 0) return 0.0;
    // What the module makes of a stored axis it cannot read or a divisor of 0.
    if (settings.axis < 0 || settings.axis > 2 || settings.divisor == 0) return 0.0;
    const int32_t code = settings.channel == 1 ? ITEM_PARAM_POSITION : ITEM_PARAM_SCALING; // 1: co-ords
    double value[3] = {0.0, 0.0, 0.0};
    items.param(settings.controlItem, code, time, value);
    double amount = value[settings.axis] / static_cast<double>(settings.divisor);
    if (std::isnan(amount)) return 0.0;
    if (amount > 1.0) amount = 1.0;
    if (amount < 0.0) amount = settings.allowNegatives != 0 ? -amount : 0.0;
    return amount;
}

} // namespace

FadeSettings fadeSettingsOf(const host::SavedSettings &values) {
    return {valueOf(values, "controlItem"), valueOf(values, "fadeChannel"), valueOf(values, "fadeAxis"),
            valueOf(values, "fadeDivisor"), valueOf(values, "allowNegatives")};
}

std::vector<FadePoint> fadeCurve(const scene::Scene &scene, const FadeSettings &settings, int32_t first, int32_t last,
                                 int64_t most) {
    host::ItemTable items;
    scene::fillItemTable(scene, items);
    const int64_t count = int64_t{last} - first + 1;
    const int64_t points = std::min(count, std::max<int64_t>(most, 2));
    std::vector<FadePoint> curve;
    for (int64_t i = 0; i < points; ++i) {
        const int64_t frame = points == count ? first + i : first + (count - 1) * i / (points - 1);
        curve.push_back({static_cast<int32_t>(frame), amountAt(items, settings, scene.timeOfFrame(double(frame)))});
        items.clearCalls();
    }
    return curve;
}

} // namespace kivo::preview
