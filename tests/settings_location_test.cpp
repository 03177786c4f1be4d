#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/SettingsLocation.h"

namespace qm {
namespace {

TEST(SettingsLocationTest, OverrideThenExecutableFolderThenUserConfig)
{
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/q.d/quillo"), "/opt/q.d/quillo.ini");
    EXPECT_EQ(SettingsFileBesideExecutable("a.b"), "a.b.ini");
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
    // A user's first start takes the install's own file as the starting file.
    std::set<std::string> files{"/usr/bin/quillo.ini"};
    inputs.fileExists = [&](const std::string& file) { return files.count(file) > 0; };
    EXPECT_EQ(SettingsSeedFile(inputs, LocateSettingsFile(inputs)), "/usr/bin/quillo.ini");
    files.insert(LocateSettingsFile(inputs));
    EXPECT_EQ(SettingsSeedFile(inputs, LocateSettingsFile(inputs)), "");

    // --settings wins either way.
    inputs.overridePath = "/tmp/mine.ini";
    EXPECT_EQ(LocateSettingsFile(inputs), "/tmp/mine.ini");
    writable = true;
    EXPECT_EQ(LocateSettingsFile(inputs), "/tmp/mine.ini");
}

TEST(SettingsLocationTest, InputsOfTheRunningProcessIgnoreTheWorkingFolder)
{
    test::TempFolder folder;
    const std::string executable = CurrentSettingsLocationInputs("").executablePath;
    EXPECT_EQ(executable.substr(executable.rfind('/')), "/qm_unit_tests");

    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const SettingsLocationInputs inputs = CurrentSettingsLocationInputs("mine.ini");
    std::filesystem::current_path(previous);
    EXPECT_EQ(inputs.executablePath, executable);
    EXPECT_EQ(inputs.overridePath, std::filesystem::canonical(folder.Path()) / "mine.ini");
    EXPECT_TRUE(inputs.folderIsWritable(folder.Path()));
    EXPECT_FALSE(inputs.folderIsWritable(folder / "missing"));
}

} // namespace
} // namespace qm
