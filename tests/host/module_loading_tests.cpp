// Opening module files: the descriptor through the loader, and a clear error
// naming the file and the reason for every file that is not a filter module.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "host/core/host_error.h"
#include "host/core/host_session.h"
#include "host/core/module_loader.h"

namespace {

using kivo::host::HostError;
using kivo::host::HostSession;
using kivo::host::LoadedModule;

std::string loadError(const std::string &path) {
    try {
        LoadedModule::open(path);
    } catch (const HostError &e) {
        return e.what();
    }
    return "";
}

TEST(ModuleLoading, DescriptorWordsAndServerRows) {
    auto module = LoadedModule::open(KIVO_MODULE_FILE);
    const ModuleDescriptor &d = module->descriptor();
    EXPECT_EQ(d.syncWord, 0x04121994u);
    EXPECT_EQ(d.systemVersion, 2);
    EXPECT_EQ(d.machineWord, 0x300u);
    ASSERT_NE(d.startup, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d.startup()), 4u);
    ASSERT_NE(d.shutdown, nullptr);
    const ServerRecord *rows = d.serverTable;
    EXPECT_STREQ(rows[0].className, "ImageFilterHandler");
    EXPECT_STREQ(rows[0].serverName, "Kivo_VidMixer");
    EXPECT_NE(rows[0].activate, nullptr);
    EXPECT_STREQ(rows[1].className, "ImageFilterInterface");
    EXPECT_STREQ(rows[1].serverName, "Kivo_VidMixer");
    EXPECT_NE(rows[1].activate, nullptr);
    EXPECT_EQ(rows[2].className, nullptr);
    EXPECT_EQ(rows[2].serverName, nullptr);
    EXPECT_EQ(rows[2].activate, nullptr);
    EXPECT_EQ(module->findServer("ImageFilterHandler", "Kivo_VidMixer"), rows[0].activate);
    EXPECT_EQ(module->findServer("ImageFilterInterface", "Kivo_VidMixer"), rows[1].activate);
    EXPECT_EQ(module->findServer("ImageFilterHandler", "Other"), nullptr);
}

TEST(ModuleLoading, EveryBadFileIsNamedWithItsReason) {
    const std::string missing = "/nonexistent/dir/kivo_vidmixer.p";
    EXPECT_EQ(loadError(missing), "cannot load module " + missing + ": No such file or directory");

    const std::string text = ::testing::TempDir() + "not_a_module.p";
    std::ofstream(text) << "just text\n";
    EXPECT_NE(loadError(text).find("cannot load module " + text + ": not a loadable shared object"),
              std::string::npos);

    EXPECT_EQ(loadError(KIVO_FIXTURE_NO_DESCRIPTOR),
              std::string("cannot load module ") + KIVO_FIXTURE_NO_DESCRIPTOR + ": no _mod_descrip symbol");
    EXPECT_EQ(loadError(KIVO_FIXTURE_WRONG_SYNC), std::string("cannot load module ") + KIVO_FIXTURE_WRONG_SYNC +
                                                      ": wrong sync word 0x12345678 (expected 0x4121994)");
    EXPECT_EQ(loadError(::testing::TempDir()), "cannot load module " + ::testing::TempDir() + ": not a regular file");
}

TEST(ModuleLoading, AModuleWithoutTheServerIsRefusedByName) {
    try {
        HostSession session(KIVO_FIXTURE_OTHER_SERVER);
        FAIL() << "the session opened";
    } catch (const HostError &e) {
        EXPECT_EQ(std::string(e.what()), std::string(KIVO_FIXTURE_OTHER_SERVER) +
                                             ": the module has no ImageFilterHandler server named \"Kivo_VidMixer\" "
                                             "(it has \"SomethingElse\")");
    }
}

} // namespace
