// The built module, loaded as a host loads it: handler activation and the
// instance and record callbacks it hands over.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/core/host_session.h"
#include "host/core/module_loader.h"
#include "host/core/state_buffers.h"

namespace {

using namespace kivo::host;

std::vector<std::string> gLookups;
bool gOfferItemInfo = true;
bool gOfferMessages = true;
ItemInfoService gItemInfo{};
MessageService gMessages{};

void *testLookup(const char *name, int32_t) {
    gLookups.emplace_back(name);
    if (std::strcmp(name, "LW Item Info") == 0) return gOfferItemInfo ? &gItemInfo : nullptr;
    if (std::strcmp(name, "Info Messages") == 0) return gOfferMessages ? &gMessages : nullptr;
    return nullptr;
}

class LoadedHandler : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadedModule::open(KIVO_MODULE_FILE);
        activate = module->requireServer("ImageFilterHandler", "Kivo_VidMixer");
        gLookups.clear();
        gOfferItemInfo = gOfferMessages = true;
        std::memset(&table, 0x5A, sizeof table);
    }
    bool untouched() const {
        HandlerTable pattern;
        std::memset(&pattern, 0x5A, sizeof pattern);
        return std::memcmp(&pattern, &table, sizeof table) == 0;
    }
    std::unique_ptr<LoadedModule> module;
    ActivateFunction activate = nullptr;
    HandlerTable table;
};

TEST_F(LoadedHandler, ActivationCodes) {
    EXPECT_EQ(activate(1, testLookup, &table, nullptr), 1);
    EXPECT_EQ(activate(3, testLookup, &table, nullptr), 1);
    EXPECT_TRUE(untouched());
    EXPECT_TRUE(gLookups.empty());

    gOfferItemInfo = false;
    EXPECT_EQ(activate(2, testLookup, &table, nullptr), 2);
    EXPECT_FALSE(untouched());
    for (void *slot : {(void *)table.create, (void *)table.destroy, (void *)table.copy, (void *)table.load,
                       (void *)table.save, (void *)table.process, (void *)table.flags, (void *)table.describe})
        EXPECT_NE(slot, nullptr);
    EXPECT_EQ(gLookups, std::vector<std::string>{"LW Item Info"});

    gOfferItemInfo = true;
    gOfferMessages = false;
    gLookups.clear();
    EXPECT_EQ(activate(2, testLookup, &table, nullptr), 2);
    EXPECT_EQ(gLookups, (std::vector<std::string>{"LW Item Info", "Info Messages"}));

    gOfferMessages = true;
    EXPECT_EQ(activate(2, testLookup, &table, nullptr), 0);
}

TEST(LoadedModuleInstances, NewInstanceRecordAndDescription) {
    HostSession host(KIVO_MODULE_FILE);
    auto instance = host.createInstance();
    const std::vector<uint8_t> record = host.save(instance.get());
    ASSERT_EQ(record.size(), 128u);
    const std::string text = "0 1 1 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1";
    EXPECT_EQ(std::string(record.begin(), record.begin() + 41), text);
    EXPECT_EQ(std::vector<uint8_t>(record.begin() + 41, record.end()), std::vector<uint8_t>(87, 0));
    EXPECT_EQ(host.describe(instance.get()), "Kivo Video Mixer (FX:STATIC)");
    EXPECT_EQ(host.handler().flags(instance.get()), 0);
}

TEST(LoadedModuleInstances, RecordRoundTripAndCopy) {
    HostSession host(KIVO_MODULE_FILE);
    auto a = host.createInstance();
    const std::string text = "-7 3 5 1 2 10 1 2 10 20 30 1 1 1 1 1 1 4";
    std::vector<uint8_t> record(text.begin(), text.end());
    record.resize(128, 0);
    host.load(a.get(), record);
    EXPECT_EQ(host.describe(a.get()), "Kivo Video Mixer (FX:B&W FILM)");
    EXPECT_EQ(host.save(a.get()), record);

    auto b = host.createInstance();
    EXPECT_EQ(host.handler().copy(a.get(), b.get()), 0);
    EXPECT_EQ(host.save(b.get()), record);

    // A shorter delivery than asked for: the rest reads as zero bytes.
    auto c = host.createInstance();
    host.load(c.get(), std::vector<uint8_t>{'9', ' ', '3'});
    const std::vector<uint8_t> saved = host.save(c.get());
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 41), "9 3 0 0 0 1 0 0 255 255 255 0 0 0 0 0 0 1");
}

} // namespace
