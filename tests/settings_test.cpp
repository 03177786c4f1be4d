#include <algorithm>
#include <csignal>
#include <limits>
#include <set>

#include <sys/resource.h>
#include <sys/stat.h>

#include "Fixtures.h"
#include "platform/Files.h"
#include "platform/IniFileSettings.h"
#include "platform/SettingsLocation.h"
#include "view/ViewOptions.h"

namespace qm {
namespace {

using namespace test;

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(SettingsTest, WritesKeepWhatTheProgramDoesNotOwn)
{
    TempFolder folder;
    const std::string path = folder / "quillo.ini";
    SetFileText(path, "; written by hand\n[Recent File List]\nFile1=/home/u/robot.abd\n\n"
                      "; my colours\n[Color]\nBackColorR = 1.00\nMine=yes\n[FrameState]\nWidth=640\n; the end\n");
    IniFileSettings settings(path, SettingsAccess::ReadWrite);
    EXPECT_EQ(settings.Read("color", "backcolorr"), "1.00"); // as case-blind as INI files are
    settings.Write("Color", "BackColorR", "1");
    settings.Write("View", "DrawShadow", "0");
    ASSERT_TRUE(settings.Flush());

    const std::string text = FileText(path);
    std::string lines = text;  // blank lines aside
    lines.erase(std::unique(lines.begin(), lines.end(), [](char a, char b) { return a == '\n' && b == '\n'; }),
                lines.end());
    EXPECT_EQ(lines, "; written by hand\n[Recent File List]\nFile1=/home/u/robot.abd\n; my colours\n[Color]\n"
                     "BackColorR=1\nMine=yes\n[FrameState]\nWidth=640\n[View]\nDrawShadow=0\n; the end\n");

    settings.Write("View", "DrawShadow", "0");
    ASSERT_TRUE(settings.Flush());
    EXPECT_EQ(FileText(path), text);
}

TEST(SettingsTest, FlushRereadsTheFileAndMakesItsFolder)
{
    TempFolder folder;
    const std::string path = folder / "config/quillomark/quillo.ini";
    IniFileSettings first(path, SettingsAccess::ReadWrite);
    IniFileSettings second(path, SettingsAccess::ReadWrite); // another running copy
    first.Write("View", "UseEdge", "1");
    ASSERT_TRUE(first.Flush());
    second.Write("View", "DrawGround", "0");
    ASSERT_TRUE(second.Flush());
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\nDrawGround=0\n");
    EXPECT_EQ(ModeOf(folder / "config"), 0700u);

    IniFileSettings readOnly(path, SettingsAccess::ReadOnly);
    readOnly.Write("View", "UseEdge", "0");
    readOnly.Flush();
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\nDrawGround=0\n");
}

TEST(SettingsTest, ReplacingAFileIsAllOrNothing)
{
    TempFolder folder;
    const std::string path = folder / "quillo.ini";
    SetFileText(path, "[View]\nUseEdge=1\n");
    chmod(path.c_str(), 0640);
    // A file size limit makes the write fail half-way, as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{64, saved.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    EXPECT_FALSE(ReplaceFileAtomically(path, std::string(1000, 'x')));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(FileText(path), "[View]\nUseEdge=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1) << "temporary file left";

    EXPECT_TRUE(ReplaceFileAtomically(path, "new\n"));
    EXPECT_TRUE(FileText(path) == "new\n" && ModeOf(path) == 0640u);

    // A settings file kept elsewhere through a link stays linked.
    const std::string link = folder / "link.ini";
    std::filesystem::create_symlink(path, link);
    EXPECT_TRUE(ReplaceFileAtomically(link, "through the link\n") && std::filesystem::is_symlink(link));
    EXPECT_EQ(FileText(path), "through the link\n");
}

TEST(ViewOptionsTest, FirstStartWritesEveryNumericKeyAndNoSwitch)
{
    MemorySettings settings;
    const ViewOptions options(settings);
    std::string written;
    for (const SettingsEntry& e : settings.written)
        written += e.section + "/" + e.key + "=" + e.value + " ";
    EXPECT_EQ(written,
              "Color/BackColorR=0.5 Color/BackColorG=0.6 Color/BackColorB=1 "
              "Color/GroundColor1R=0.25 Color/GroundColor1G=0.25 Color/GroundColor1B=0.25 "
              "Color/GroundColor2R=0.2 Color/GroundColor2G=0.2 Color/GroundColor2B=0.2 View/GroundScale=10 "
              "Light/DiffuseR=0.9 Light/DiffuseG=0.9 Light/DiffuseB=0.9 Light/AmbientR=0.2 Light/AmbientG=0.2 "
              "Light/AmbientB=0.2 Light/SpecularR=0.5 Light/SpecularG=0.5 Light/SpecularB=0.5 Light/Shininess=100 "
              "View/EdgeWidth=0.002 Light/AnimeShadeBright1=0.45 Light/AnimeShadeBright2=0.7 "
              "Light/AnimeShadeBright3=0.95 Light/AnimeShadeBright4=1 Light/AnimeShadeThreshold1=0 "
              "Light/AnimeShadeThreshold2=0.1 Light/AnimeShadeThreshold3=0.8 ");
    EXPECT_EQ(settings.flushes, 1);
    const ViewSwitches& s = options.Switches();
    EXPECT_EQ(s.drawShadow + s.drawGround + s.drawCount + s.useFastBlower, 4);
    EXPECT_EQ(s.useEdge + s.useAntiEdge + s.useDepth + s.animeShade + s.useCameraTrace + s.useMotionBlower +
                  s.useFlatShade + s.drawDoublePlane,
              0);
}

TEST(ViewOptionsTest, NumbersAreReadAsAtofDoesAndWrittenBackNormalised)
{
    const struct {
        const char* text;
        float value;
        const char* written;
    } cases[] = {{"1.00", 1.0f, "1"}, {"abc", 0.0f, "0"}, {"", 0.0f, "0"}, {"0.123456789", 0.123456789f, "0.123457"},
                 {"1234567", 1234567.0f, "1.23457e+06"}, {"  -.25 and more", -0.25f, "-0.25"},
                 {"1e39", std::numeric_limits<float>::infinity(), "inf"}};
    for (const auto& c : cases) {
        MemorySettings settings;
        settings.values[{"Light", "Shininess"}] = c.text;
        settings.values[{"Light", "AnimeShadeThreshold2"}] = c.text;
        const ViewOptions options(settings);
        EXPECT_TRUE(options.Parameters().shininess == c.value && options.Thresholds().animeShadeThreshold2 == c.value)
            << '"' << c.text << '"';
        EXPECT_EQ(settings.Read("Light", "Shininess"), c.written) << '"' << c.text << '"';
        EXPECT_EQ(settings.Read("Light", "AnimeShadeThreshold2"), c.written) << '"' << c.text << '"';
    }
}

TEST(SettingsLocationTest, OverrideThenExecutableFolderThenUserConfig)
{
    EXPECT_EQ(SettingsFileBesideExecutable("/opt/q.d/quillo"), "/opt/q.d/quillo.ini");

    SettingsLocationInputs inputs{"/home/u/src/build/app/quillo", "", "", "/home/u",
                                  [](const std::string& folder) { return folder == "/home/u/src/build/app"; },
                                  [](const std::string&) { return false; }};
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/src/build/app/quillo.ini");  // from a build tree
    inputs.executablePath = "/usr/local/bin/quillo";  // installed where the user cannot write
    EXPECT_EQ(LocateSettingsFile(inputs), "/home/u/.config/quillomark/quillo.ini");
    inputs.folderIsWritable = [](const std::string&) { return true; };
    EXPECT_EQ(LocateSettingsFile(inputs), "/usr/local/bin/quillo.ini");  // by root, who installed it there
    inputs.executablePath = "/usr/bin/quillo";  // the package manager's: root's settings go to root's folder
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
    EXPECT_TRUE(inputs.folderIsWritable(folder.Path()) && !inputs.folderIsWritable(folder / "missing"));
}

} // namespace
} // namespace qm
