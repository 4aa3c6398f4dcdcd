// Handler activation: result codes, the table and the three saved host pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entry/activation.h"
#include "instance/mixer_instance.h"
#include "entry/saved_services.h"
#include "persist/settings_record.h"

namespace {

ItemInfoService gItemInfo{};
ItemInfoService gOtherItemInfo{};
MessageService gMessages{};
MessageService gOtherMessages{};
std::vector<std::string> gLookups;
bool gOfferItemInfo = true;
bool gOfferMessages = true;

void *lookupA(const char *name, int32_t flags) {
    EXPECT_EQ(flags, 0);
    gLookups.emplace_back(name);
    if (std::strcmp(name, "LW Item Info") == 0) return gOfferItemInfo ? &gItemInfo : nullptr;
    if (std::strcmp(name, "Info Messages") == 0) return gOfferMessages ? &gMessages : nullptr;
    return nullptr;
}

void *lookupB(const char *name, int32_t) {
    gLookups.emplace_back(name);
    if (std::strcmp(name, "LW Item Info") == 0) return &gOtherItemInfo;
    if (std::strcmp(name, "Info Messages") == 0) return &gOtherMessages;
    return nullptr;
}

class HandlerActivation : public ::testing::Test {
protected:
    void SetUp() override {
        gSavedServices = {nullptr, nullptr, nullptr};
        gLookups.clear();
        gOfferItemInfo = gOfferMessages = true;
        std::memset(&table, 0xA5, sizeof table);
    }
    bool tableUntouched() const {
        HandlerTable pattern;
        std::memset(&pattern, 0xA5, sizeof pattern);
        return std::memcmp(&pattern, &table, sizeof table) == 0;
    }
    HandlerTable table;
};

TEST_F(HandlerActivation, SuccessFillsEverySlotInOrderAndSavesTheServices) {
    EXPECT_EQ(activateHandler(2, lookupA, &table, nullptr), 0);
    EXPECT_EQ(table.create, createInstance);
    EXPECT_EQ(table.destroy, destroyInstance);
    EXPECT_EQ(table.copy, copyInstance);
    EXPECT_EQ(table.load, loadInstance);
    EXPECT_EQ(table.save, saveInstance);
    EXPECT_EQ(table.process, processHandler);
    EXPECT_EQ(table.flags, instanceFlags);
    EXPECT_EQ(table.describe, describeInstance);
    EXPECT_EQ(gLookups, (std::vector<std::string>{"LW Item Info", "Info Messages"}));
    EXPECT_EQ(gSavedServices.lookup, lookupA);
    EXPECT_EQ(gSavedServices.itemInfo, &gItemInfo);
    EXPECT_EQ(gSavedServices.messages, &gMessages);
}

TEST_F(HandlerActivation, WrongVersionTouchesNothing) {
    ASSERT_EQ(activateHandler(2, lookupA, &table, nullptr), 0);
    const SavedServices before = gSavedServices;
    for (int32_t version : {1, 3, 0, -2}) {
        std::memset(&table, 0xA5, sizeof table);
        gLookups.clear();
        EXPECT_EQ(activateHandler(version, lookupB, &table, nullptr), 1);
        EXPECT_TRUE(tableUntouched());
        EXPECT_TRUE(gLookups.empty());
        EXPECT_EQ(gSavedServices.lookup, before.lookup);
        EXPECT_EQ(gSavedServices.itemInfo, before.itemInfo);
        EXPECT_EQ(gSavedServices.messages, before.messages);
    }
}

TEST_F(HandlerActivation, MissingItemInfoStoresNullAndKeepsTheSavedLookup) {
    ASSERT_EQ(activateHandler(2, lookupB, &table, nullptr), 0);
    gOfferItemInfo = false;
    gLookups.clear();
    std::memset(&table, 0xA5, sizeof table);
    EXPECT_EQ(activateHandler(2, lookupA, &table, nullptr), 2);
    EXPECT_EQ(table.process, processHandler); // filled before the lookups
    EXPECT_EQ(gLookups, std::vector<std::string>{"LW Item Info"});
    EXPECT_EQ(gSavedServices.itemInfo, nullptr);
    EXPECT_EQ(gSavedServices.messages, &gOtherMessages); // not looked up, so kept
    EXPECT_EQ(gSavedServices.lookup, lookupB);
}

TEST_F(HandlerActivation, MissingMessagesStoresNullAndKeepsTheSavedLookup) {
    gOfferMessages = false;
    EXPECT_EQ(activateHandler(2, lookupA, &table, nullptr), 2);
    EXPECT_EQ(gSavedServices.itemInfo, &gItemInfo);
    EXPECT_EQ(gSavedServices.messages, nullptr);
    EXPECT_EQ(gSavedServices.lookup, nullptr);
}

TEST_F(HandlerActivation, TheLastSuccessfulActivationWins) {
    ASSERT_EQ(activateHandler(2, lookupA, &table, nullptr), 0);
    ASSERT_EQ(activateHandler(2, lookupB, &table, nullptr), 0);
    EXPECT_EQ(gSavedServices.lookup, lookupB);
    EXPECT_EQ(gSavedServices.itemInfo, &gOtherItemInfo);
    EXPECT_EQ(gSavedServices.messages, &gOtherMessages);
}

} // namespace
