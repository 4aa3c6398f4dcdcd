// Instances of the frei0r plug-in updated from several threads at once, as
// editors render: each thread's frames must be what the same frames give
// when rendered alone. Built also under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>

#include "tests/frei0r/plugin_fixture.h"

namespace kivo::test {
namespace {

constexpr unsigned kWidth = 32, kHeight = 24;
constexpr int kFrames = 6;
const char *const kLooks[] = {"static", "rgb", "film", "negative"};

// One thread's work: its own instance, look and frames. The looks are chosen
// so that a frame depends only on its number and settings, not on which
// frames of other instances ran before it.
std::vector<std::vector<uint32_t>> render(const Frei0rPlugin &plugin, int look) {
    f0r_instance_t instance = plugin.construct(kWidth, kHeight);
    EXPECT_NE(instance, nullptr);
    if (instance == nullptr) return {};
    plugin.setText(instance, "look", kLooks[look]);
    plugin.set(instance, "fade", 0.25 * (look + 1));
    plugin.set(instance, "time unit", 1.0);
    std::vector<std::vector<uint32_t>> frames;
    for (int number = 0; number < kFrames; ++number) {
        const std::vector<uint32_t> in = testFrame(kWidth, kHeight, number);
        frames.emplace_back(in.size());
        plugin.update(instance, number / 24.0, in.data(), frames.back().data());
    }
    plugin.destruct(instance);
    return frames;
}

TEST(Frei0rConcurrency, InstancesOnSeveralThreadsGiveTheirOwnFrames) {
    Frei0rPlugin plugin(KIVO_FREI0R_PLUGIN_FILE);
    std::vector<std::vector<uint32_t>> alone[4], together[4];
    for (int look = 0; look < 4; ++look) alone[look] = render(plugin, look);
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (int look = 0; look < 4; ++look)
            threads.emplace_back([&, look] { together[look] = render(plugin, look); });
        for (std::thread &thread : threads) thread.join();
        for (int look = 0; look < 4; ++look) EXPECT_EQ(together[look], alone[look]) << kLooks[look];
    }
}

} // namespace
} // namespace kivo::test
