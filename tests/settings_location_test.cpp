#include <filesystem>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/SettingsLocation.h"

namespace qm {
namespace {

TEST(SettingsLocationTest, OverrideThenExecutableFolderThenUserConfig)
{
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/q.d/quillo"), "/opt/q.d/quillo.ini");
    EXPECT_EQ(SettingsFileBesideExecutable("a.b.exe"), "a.b.ini");

    std::string askedAbout;
    bool writable = true;
    const auto isWritable = [&](const std::string& folder) {
        askedAbout = folder;
        return writable;
    };
    SettingsLocationInputs inputs{"/home/u/src/build/app/quillo", "", "", "/home/u", isWritable};
    // From a build tree.
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/src/build/app/quillo.ini");
    EXPECT_EQ(askedAbout, "/home/u/src/build/app");

    // Installed where the user cannot write.
    inputs.executablePath = "/usr/bin/quillo";
    writable = false;
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/.config/quillomark/quillo.ini");
    inputs.xdgConfigHome = "/home/u/cfg";
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/cfg/quillomark/quillo.ini");
    inputs.xdgConfigHome = "relative/cfg";
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/.config/quillomark/quillo.ini");

    inputs.overridePath = "/tmp/mine.ini";  // --settings wins
    EXPECT_EQ(LocateSettingsFile(inputs), "/tmp/mine.ini");
}

TEST(SettingsLocationTest, InputsOfTheRunningProcessIgnoreTheWorkingFolder)
{
    test::TempFolder folder;
    const std::string executable = CurrentSettingsLocationInputs("").executablePath;
    EXPECT_EQ(executable.substr(executable.rfind('/')), "/qm_unit_tests");

    const SettingsLocationInputs inputs = [&] {
        test::CurrentFolder cwd(folder.Path());
        return CurrentSettingsLocationInputs("mine.ini");
    }();
    EXPECT_EQ(inputs.executablePath, executable);
    EXPECT_EQ(inputs.overridePath, std::filesystem::canonical(folder.Path()) / "mine.ini");
    EXPECT_TRUE(inputs.folderIsWritable(folder.Path()));
    EXPECT_FALSE(inputs.folderIsWritable(folder / "missing"));
}

} // namespace
} // namespace qm
